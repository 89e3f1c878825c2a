// What the store fuzz target does with one input, shared with the regression test: the bytes
// become a .pst file that is opened for extension, walked, added to and closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/status.h"

namespace baleport::proof {

// Fails cleanly (the usual outcome for random bytes) or succeeds; never crashes or hangs.
Status OpenAndExtend(const uint8_t* data, size_t size, const std::string& path);

}  // namespace baleport::proof
