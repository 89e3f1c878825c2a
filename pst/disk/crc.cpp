#include "pst/disk/crc.h"

#include <libdeflate.h>

namespace baleport::pst::disk {

uint32_t Crc(const void* data, size_t n, uint32_t seed) {
  // libdeflate (carry-less multiply where the processor has it) inverts on entry and on exit,
  // as zlib does; inverting around it cancels both.
  return ~libdeflate_crc32(~seed, data, n);
}

}  // namespace baleport::pst::disk
