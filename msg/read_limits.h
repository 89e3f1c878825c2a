// Bounds on what one file may ask of the reader beyond what its size already bounds (every
// object, entry and value takes room in the file), so that a hostile file costs little time
// and memory. The defaults are far beyond what Outlook writes.
#pragma once

#include <cstdint>

namespace baleport::msg {

struct ReadLimits {
  // Each level of embedding is a level of recursion in the reader and the import.
  uint32_t max_embedding_depth = 32;
  uint64_t max_property_stream = 1u << 20;  // 65536 entries: more than there are distinct tags
};

}  // namespace baleport::msg
