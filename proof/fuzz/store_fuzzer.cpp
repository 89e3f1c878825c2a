// libFuzzer entry: any bytes, opened as a store for extension (see open_store.h).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "proof/fuzz/open_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // In memory-backed /dev/shm when there is one: every input is written out.
  static const std::string path =
      std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/baleport-fuzz-" + std::to_string(getpid()) + ".pst";
  (void)baleport::proof::OpenAndExtend(data, size, path);  // failing cleanly is a pass
  return 0;
}
