#include "pst/disk/crc.h"

#include <zlib.h>

namespace baleport::pst::disk {

uint32_t Crc(const void* data, size_t n, uint32_t seed) {
  // zlib inverts on entry and on exit; inverting around it cancels both.
  return ~static_cast<uint32_t>(crc32_z(~seed, static_cast<const Bytef*>(data), n));
}

}  // namespace baleport::pst::disk
