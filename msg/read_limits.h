// Bounds on what one file may ask of the reader, so that a hostile file costs little time
// and memory. The defaults are far beyond what Outlook writes.
#pragma once

#include <cstdint>

namespace baleport::msg {

struct ReadLimits {
  uint32_t max_embedding_depth = 32;
  // Across the whole file: recipients, attachments and embedded messages together.
  uint32_t max_objects = 100000;
  uint64_t max_property_stream = 1u << 20;  // 65536 entries
  // libgsf sorts each storage's children into a list as it opens the file, in time
  // quadratic in their number; these keep that to about a second.
  uint32_t max_directory_entries = 131072;
  uint32_t max_storage_children = 8192;
  // libgsf recurses once per level of the directory tree, with about 250 bytes of stack a
  // level: this keeps it within 1 MB.
  uint32_t max_directory_depth = 4096;
};

}  // namespace baleport::msg
