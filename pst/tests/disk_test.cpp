#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "pst/disk/crc.h"
#include "pst/disk/crypt.h"
#include "pst/disk/layout.h"

namespace baleport::pst::disk {
namespace {

TEST(Crc, MatchesKnownValuesInOnePassOrPieceByPiece) {
  EXPECT_EQ(Crc("", 0), 0u);
  EXPECT_EQ(Crc("123456789", 9), 0x2DFD2D88u);
  EXPECT_EQ(Crc("6789", 4, Crc("12345", 5)), 0x2DFD2D88u);
  std::string s(100000, '\0');
  for (size_t i = 0; i < s.size(); ++i) s[i] = static_cast<char>(i * 131 >> 3);
  uint32_t pieces = 0;
  for (size_t i = 0; i < s.size(); i += 997) pieces = Crc(s.data() + i, std::min<size_t>(997, s.size() - i), pieces);
  EXPECT_EQ(Crc(s.data(), s.size()), pieces);
}

// Known bytes of both encodings; every byte value round-trips. Long buffers take the 64-byte
// path, byte by byte the table loop: both agree at every position and tail length.
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
  for (size_t n : {63u, 64u, 65u, 127u, 300u, 8176u}) {
    std::string whole(n, '\0');
    for (size_t i = 0; i < n; ++i) whole[i] = static_cast<char>((i * 7 + n) & 0xFF);
    std::string bytewise = whole;
    Encode(CryptMethod::kPermute, 0, whole.data(), whole.size());
    for (char& c : bytewise) Encode(CryptMethod::kPermute, 0, &c, 1);
    EXPECT_EQ(whole, bytewise) << n;
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
