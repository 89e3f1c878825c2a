#include "pst/disk/crc.h"

#include <zlib.h>

namespace baleport::pst::disk {

uint32_t Crc(const void* data, size_t n, uint32_t seed) {
  // zlib inverts on entry and on exit; inverting around it cancels both.
  uLong crc = ~seed & 0xFFFFFFFFu;
  const auto* p = static_cast<const Bytef*>(data);
  while (n > 0) {
    uInt chunk = n > 0x40000000 ? 0x40000000 : static_cast<uInt>(n);
    crc = crc32(crc, p, chunk);
    p += chunk;
    n -= chunk;
  }
  return static_cast<uint32_t>(~crc & 0xFFFFFFFFu);
}

}  // namespace baleport::pst::disk
