# Header-only libraries that Debian ships for Linux only (CLI11, xxHash) reach the Windows build
# as their headers alone, copied into the build tree at configure time, so that nothing else of
# the host's /usr/include is seen by the cross-compiler.
function(baleport_host_headers target scope)
  set(into ${CMAKE_BINARY_DIR}/host-headers)
  foreach(item ${ARGN})
    if(NOT EXISTS /usr/include/${item})
      message(FATAL_ERROR "/usr/include/${item} is missing: scripts/install-deps installs it")
    endif()
    file(COPY /usr/include/${item} DESTINATION ${into})
  endforeach()
  target_include_directories(${target} ${scope} ${into})
endfunction()
