#include <gtest/gtest.h>

#include <zlib.h>

#include <algorithm>
#include <iostream>
#include <random>
#include <string>

#include "pst/disk/crc.h"
#include "pst/disk/crypt.h"
#include "pst/disk/layout.h"

namespace baleport::pst::disk {
namespace {

// Long runs take the carry-less fold where the processor has it, the rest zlib's table: both
// must agree with zlib at every length, alignment and seed, in one pass or piece by piece.
TEST(Crc, MatchesZlibAtEveryLengthAndAlignmentInOnePassOrPieceByPiece) {
  EXPECT_EQ(Crc("", 0), 0u);
  EXPECT_EQ(Crc("123456789", 9), 0x2DFD2D88u);
  EXPECT_EQ(Crc("6789", 4, Crc("12345", 5)), 0x2DFD2D88u);
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

// Known bytes of both encodings; every byte value round-trips. Each SIMD path the processor has
// agrees with the table byte by byte at every position and tail length, both ways.
TEST(Crypt, KnownBytesRoundTripsAndLongBuffersAsByteByByte) {
  std::string s = "Hello PST";
  Encode(CryptMethod::kPermute, 0, s.data(), s.size());
  EXPECT_EQ(s, std::string("\x07\xEA\xFD\xFD\x86\x4C\x8F\x0F\x63", 9));
  Decode(CryptMethod::kPermute, 0, s.data(), s.size());
  Encode(CryptMethod::kCyclic, 0x1234, s.data(), s.size());
  EXPECT_EQ(s, std::string("\x9E\x35\x7E\x7C\x8D\x6B\xC6\x1F\xF3", 9));
  for (CryptMethod m : {CryptMethod::kPermute, CryptMethod::kCyclic}) {
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    std::string t = all;
    Encode(m, 0xABCDEF, t.data(), t.size());
    Decode(m, 0xABCDEF, t.data(), t.size());
    EXPECT_EQ(t, all);
  }
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

TEST(Layout, SignaturesMatchKnownPlaces) {
  EXPECT_EQ(ComputeSig(0x8200, 0x206), 0x8006);
  EXPECT_EQ(ComputeSig(0x594D80, 0x1386), 0x5E5F);
  EXPECT_EQ(ComputeSig(0x5A6600, 0x162), 0x6738);
  EXPECT_EQ(BlockDiskSize(0), 64u);
  EXPECT_EQ(BlockDiskSize(48), 64u);
  EXPECT_EQ(BlockDiskSize(49), 128u);
  EXPECT_EQ(BlockDiskSize(kMaxBlockData), kMaxBlockSize);
}

}  // namespace
}  // namespace baleport::pst::disk
