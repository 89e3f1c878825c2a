# Each folder's headers are included as "folder/name.h". A folder's targets see their own
# folder, and the targets that link its libraries see it too, but no other: the include path
# is a directory in the build tree holding one link, to that folder. So a layer that includes
# a folder it does not link fails to build.
#
# Call once at the top of a folder's CMakeLists.txt; give its libraries BALEPORT_HEADERS as
# their PUBLIC (INTERFACE) include directory.
function(baleport_folder_headers)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  set(dir ${CMAKE_BINARY_DIR}/headers/${folder})
  if(NOT IS_SYMLINK ${dir}/${folder})
    file(MAKE_DIRECTORY ${dir})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${dir}/${folder} RESULT failed SYMBOLIC)
    if(failed)  # a system without symbolic links builds, only without the check
      set(dir ${PROJECT_SOURCE_DIR})
    endif()
  endif()
  include_directories(${dir})
  set(BALEPORT_HEADERS ${dir} PARENT_SCOPE)
endfunction()
