// The CRC-32 of [MS-PST] §5.3: the polynomial and table of zlib, without its
// pre- and post-inversion.
#pragma once

#include <cstddef>
#include <cstdint>

namespace baleport::pst::disk {

uint32_t Crc(const void* data, size_t n);

}  // namespace baleport::pst::disk
