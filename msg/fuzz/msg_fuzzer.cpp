// libFuzzer entry: any bytes, opened as a .msg file and read through.
#include <cstddef>
#include <cstdint>

#include "msg/testing/read_everything.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)baleport::msg::testing::ReadEverything(data, size);  // failing cleanly is a pass
  return 0;
}
