// What the store fuzz target does with one input, shared with the regression test: the bytes
// become a .pst file (in memory) that is opened for extension, walked, added to and closed.
// The zeros a store ends with may be left off the input; they are put back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "support/testing/memory_env.h"
#include "support/status.h"

namespace baleport::proof {

// Fails cleanly (the usual outcome for random bytes) or succeeds; never crashes or hangs.
// The file is kInputPath in `env`, which keeps it afterwards (and holds nothing else).
Status OpenAndExtend(const uint8_t* data, size_t size, testing::MemoryEnv& env);

inline constexpr char kInputPath[] = "/memory/input.pst";

}  // namespace baleport::proof
