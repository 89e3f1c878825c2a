#include "pst/disk/crc.h"

#include <zlib.h>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>
#define BALEPORT_HAVE_CLMUL_PATH 1
#endif

namespace baleport::pst::disk {
namespace {

uint32_t CrcTable(const uint8_t* p, size_t n, uint32_t crc) {
  // zlib inverts on entry and on exit; inverting around it cancels both.
  return ~static_cast<uint32_t>(crc32_z(~crc, p, n));
}

#ifdef BALEPORT_HAVE_CLMUL_PATH
#define BALEPORT_CLMUL __attribute__((target("pclmul,sse4.1")))

BALEPORT_CLMUL __m128i Load(const uint8_t* at) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(at)); }

// A lane's halves times a pair of constants: the lane carried forward by their distance.
BALEPORT_CLMUL __m128i Fold(__m128i x, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(x, k, 0x00), _mm_clmulepi64_si128(x, k, 0x11));
}

// Folding with carry-less multiplication (Intel's "Fast CRC Computation for Generic Polynomials
// Using PCLMULQDQ", the reflected constants of zlib's polynomial): four 16-byte lanes folded 64
// bytes at a time, then into one lane, then a Barrett reduction to 32 bits. n is a multiple of
// 16, at least 64; zlib's table takes the rest. Every block written or read is checksummed, and
// the table costs about four instructions a byte.
BALEPORT_CLMUL uint32_t CrcClmul(const uint8_t* p, size_t n, uint32_t crc) {
  const __m128i k1k2 = _mm_set_epi64x(0x01c6e41596, 0x0154442bd4);
  const __m128i k3k4 = _mm_set_epi64x(0x00ccaa009e, 0x01751997d0);
  const __m128i k5 = _mm_set_epi64x(0, 0x0163cd6124);
  const __m128i poly = _mm_set_epi64x(0x01f7011641, 0x01db710641);
  const __m128i low32 = _mm_setr_epi32(~0, 0, ~0, 0);

  __m128i x1 = _mm_xor_si128(Load(p), _mm_cvtsi32_si128(static_cast<int>(crc)));
  __m128i x2 = Load(p + 16), x3 = Load(p + 32), x4 = Load(p + 48);
  p += 64;
  n -= 64;
  for (; n >= 64; p += 64, n -= 64) {
    x1 = _mm_xor_si128(Fold(x1, k1k2), Load(p));
    x2 = _mm_xor_si128(Fold(x2, k1k2), Load(p + 16));
    x3 = _mm_xor_si128(Fold(x3, k1k2), Load(p + 32));
    x4 = _mm_xor_si128(Fold(x4, k1k2), Load(p + 48));
  }
  x1 = _mm_xor_si128(Fold(x1, k3k4), x2);
  x1 = _mm_xor_si128(Fold(x1, k3k4), x3);
  x1 = _mm_xor_si128(Fold(x1, k3k4), x4);
  for (; n >= 16; p += 16, n -= 16) x1 = _mm_xor_si128(Fold(x1, k3k4), Load(p));

  // 128 bits to 64, then to 32 by Barrett reduction.
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 8), _mm_clmulepi64_si128(x1, k3k4, 0x10));
  x1 = _mm_xor_si128(_mm_srli_si128(x1, 4), _mm_clmulepi64_si128(_mm_and_si128(x1, low32), k5, 0x00));
  __m128i q = _mm_clmulepi64_si128(_mm_and_si128(x1, low32), poly, 0x10);
  q = _mm_clmulepi64_si128(_mm_and_si128(q, low32), poly, 0x00);
  return static_cast<uint32_t>(_mm_extract_epi32(_mm_xor_si128(x1, q), 1));
}

bool HaveClmul() {
  static const bool have = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse4.1");
  return have;
}
#endif

}  // namespace

uint32_t Crc(const void* data, size_t n) {
  const auto* p = static_cast<const uint8_t*>(data);
  uint32_t crc = 0;
#ifdef BALEPORT_HAVE_CLMUL_PATH
  if (n >= 64 && HaveClmul()) {
    const size_t folded = n & ~size_t{15};
    crc = CrcClmul(p, folded, crc);
    p += folded;
    n -= folded;
  }
#endif
  return CrcTable(p, n, crc);
}

}  // namespace baleport::pst::disk
