// Obfuscation of external data blocks ([MS-PST] §5.1 permutative, §5.2 cyclic).
#pragma once

#include <cstddef>
#include <cstdint>

namespace baleport::pst::disk {

enum class CryptMethod : uint8_t { kNone = 0x00, kPermute = 0x01, kCyclic = 0x02 };

// In place. `bid` keys the cyclic method; the others ignore it.
void Encode(CryptMethod method, uint64_t bid, void* data, size_t n);
void Decode(CryptMethod method, uint64_t bid, void* data, size_t n);

// The permutative method is done by the widest of these the processor has; tests hold each
// one it has to the byte-by-byte table (kNone).
enum class Simd { kNone, kAvx2, kAvx512Vbmi };
bool ProcessorHas(Simd simd);
void PermuteUsing(Simd simd, bool encode, void* data, size_t n);

}  // namespace baleport::pst::disk
