// A look at the compound file's directory ([MS-CFB] 2.6) before libgsf parses it: refuses
// directories whose size would make that parse slow, and sector chains that loop.
#pragma once

#include <cstdint>

#include "msg/read_limits.h"
#include "support/env.h"
#include "support/status.h"

namespace baleport::msg {

// Files too short or without the signature pass; libgsf says what is wrong with them.
Status CheckDirectory(File& file, uint64_t file_size, const ReadLimits& limits);

}  // namespace baleport::msg
