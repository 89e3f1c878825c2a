// libFuzzer entry: any bytes, opened as a store for extension (see open_store.h).
#include <cstddef>
#include <cstdint>

#include "proof/fuzz/open_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static baleport::proof::MemoryEnv env;
  (void)baleport::proof::OpenAndExtend(data, size, env);  // failing cleanly is a pass
  return 0;
}
