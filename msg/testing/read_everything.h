// Pulls every value of every object through the public API, as an importer would: the work
// of the fuzz target, of the regression tests it left behind and of the read benchmark.
#pragma once

#include <cstddef>
#include <cstdint>

#include "msg/message.h"
#include "support/status.h"

namespace baleport::msg::testing {

// Returns the number of value bytes read.
Result<uint64_t> ReadEverything(const MsgFile& file);
// The same over bytes in memory, opened as a file.
Result<uint64_t> ReadEverything(const uint8_t* data, size_t size);

}  // namespace baleport::msg::testing
