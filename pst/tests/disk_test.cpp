#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <iostream>
#include <random>
#include <string>

#include "pst/disk/crc.h"
#include "pst/disk/crypt.h"

namespace baleport::pst::disk {
namespace {

// Long runs take the carry-less fold where the processor has it, the rest zlib's table: both
// must agree with zlib at every length, alignment and seed, in one pass or piece by piece.
TEST(Crc, MatchesZlibAtEveryLengthAndAlignmentInOnePassOrPieceByPiece) {
  std::mt19937 random(15);
  std::string s(100000, '\0');
  for (char& c : s) c = static_cast<char>(random());
  auto zlib = [](const char* p, size_t n, uint32_t seed) {
    return ~static_cast<uint32_t>(crc32_z(~seed, reinterpret_cast<const Bytef*>(p), n));
  };
  for (size_t offset : {0u, 1u, 7u, 13u})
    for (size_t n = 0; n <= 300; ++n) {
      const uint32_t seed = random();
      ASSERT_EQ(Crc(s.data() + offset, n, seed), zlib(s.data() + offset, n, seed)) << offset << " " << n;
    }
  for (size_t n : {8176u, 8192u + 5, 99999u}) EXPECT_EQ(Crc(s.data() + 1, n, 0), zlib(s.data() + 1, n, 0)) << n;
  uint32_t pieces = 0;
  for (size_t i = 0; i < s.size(); i += 997) pieces = Crc(s.data() + i, std::min<size_t>(997, s.size() - i), pieces);
  EXPECT_EQ(Crc(s.data(), s.size()), pieces);
}

// Known bytes of both encodings (nothing else here reads the cyclic one independently). Each
// SIMD path the processor has agrees with the table at every position and tail length, both ways.
TEST(Crypt, KnownBytesAndLongBuffersAsByteByByte) {
  std::string s = "Hello PST";
  Encode(CryptMethod::kPermute, 0, s.data(), s.size());
  EXPECT_EQ(s, std::string("\x07\xEA\xFD\xFD\x86\x4C\x8F\x0F\x63", 9));
  Decode(CryptMethod::kPermute, 0, s.data(), s.size());
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
