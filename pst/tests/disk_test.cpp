#include <gtest/gtest.h>

#include <iostream>
#include <string>

#include "pst/disk/crypt.h"

namespace baleport::pst::disk {
namespace {

// Known bytes of the cyclic encoding, which no store the readers judge uses. Each SIMD path of
// the permutative one that the processor has agrees with the table at every position and tail
// length, both ways: those stores use only the widest. (The CRC is checked on every block by
// the readers.)
TEST(Crypt, CyclicKnownBytesAndPermuteAsByteByByte) {
  std::string s = "Hello PST";
  Encode(CryptMethod::kCyclic, 0x1234, s.data(), s.size());
  EXPECT_EQ(s, std::string("\x9E\x35\x7E\x7C\x8D\x6B\xC6\x1F\xF3", 9));
  for (Simd simd : {Simd::kAvx2, Simd::kAvx512Vbmi}) {
    if (!ProcessorHas(simd)) {
      std::cout << "this processor lacks SIMD path " << static_cast<int>(simd) << "; not tested here\n";
      continue;
    }
    for (size_t n : {31u, 32u, 63u, 64u, 65u, 127u, 300u, 8176u}) {
      std::string whole(n, '\0');
      for (size_t i = 0; i < n; ++i) whole[i] = static_cast<char>((i * 7 + n) & 0xFF);
      for (bool encode : {true, false}) {
        std::string wide = whole, bytewise = whole;
        PermuteUsing(simd, encode, wide.data(), wide.size());
        PermuteUsing(Simd::kNone, encode, bytewise.data(), bytewise.size());
        EXPECT_EQ(wide, bytewise) << static_cast<int>(simd) << " " << n;
      }
    }
  }
}

}  // namespace
}  // namespace baleport::pst::disk
