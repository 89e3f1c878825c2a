// Decoding of 8-bit and UTF-16 string values, fed in chunks that split characters.
#include <gtest/gtest.h>

#include <iostream>

#include "msg/text_decoder.h"
#include "support/utf16_text.h"

namespace baleport::msg {
namespace {

std::string DecodeInChunks(uint32_t code_page, std::string_view bytes, size_t chunk, bool* errors = nullptr) {
  auto decoder = TextDecoder::ForCodePage(code_page);
  EXPECT_TRUE(decoder.ok()) << decoder.status().message();
  std::u16string out;
  for (size_t i = 0; i < bytes.size(); i += chunk) {
    const std::string_view part = bytes.substr(i, chunk);
    decoder->Decode(reinterpret_cast<const uint8_t*>(part.data()), part.size(), &out);
  }
  decoder->Finish(&out);
  if (errors != nullptr) *errors = decoder->had_errors();
  return Utf16ToUtf8(out, BadText::kReplace);
}

TEST(TextDecoder, MultiByteCodePagesSurviveAnyChunking) {
  struct Case {
    uint32_t code_page;
    std::string bytes;
    std::string utf8;
  };
  const Case cases[] = {
      {932, "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x65\x83\x58\x83\x67", "日本語のテスト"},
      {1251, "\xcf\xf0\xe8\xe2\xe5\xf2, \xec\xe8\xf0", "Привет, мир"},
      {936, "\xd6\xd0\xce\xc4\xd3\xca\xbc\xfe", "中文邮件"},
      {50220, "\x1b$BF|K\\8l\x1b(B ok", "日本語 ok"},  // ISO-2022-JP keeps state across chunks
      {65001, "caf\xc3\xa9 \xf0\x9f\x93\xa7", "café 📧"},
      {1252, "\x80 \xe9t\xe9", "€ été"},
  };
  for (const Case& c : cases) {
#ifdef _WIN32
    // Wine lacks the ISO-2022 code pages Windows has; the Linux run covers that case.
    if (!TextDecoder::ForCodePage(c.code_page).ok()) {
      std::cout << "code page " << c.code_page << " skipped: this system lacks it\n";
      continue;
    }
#endif
    for (size_t chunk : {size_t{1}, size_t{2}, size_t{3}, size_t{64}}) {
      bool errors = true;
      EXPECT_EQ(DecodeInChunks(c.code_page, c.bytes, chunk, &errors), c.utf8)
          << "code page " << c.code_page << ", chunks of " << chunk;
      EXPECT_FALSE(errors);
    }
  }
}

TEST(TextDecoder, BadBytesBecomeReplacementCharacters) {
  bool errors = false;
  EXPECT_EQ(DecodeInChunks(65001, "a\xff" "b\xc3", 1, &errors), "a\uFFFD" "b\uFFFD");
  EXPECT_TRUE(errors);
  EXPECT_EQ(DecodeInChunks(932, "x\x93", 4, &errors), "x\uFFFD");  // lead byte without its trail
  EXPECT_TRUE(errors);
}

TEST(TextDecoder, Utf16KeepsOddByteAndLonePairsVisible) {
  TextDecoder decoder = TextDecoder::ForUtf16();
  std::u16string out;
  const uint8_t bytes[] = {'h', 0, 0x3D, 0xD8, 0x27, 0xDE, 0x00, 0xD8, 'x'};  // h, U+1F627, lone high, odd byte
  for (uint8_t b : bytes) decoder.Decode(&b, 1, &out);
  decoder.Finish(&out);
  EXPECT_EQ(Utf16ToUtf8(out, BadText::kReplace), "h\U0001F627\uFFFD\uFFFD");
  EXPECT_TRUE(decoder.had_errors());
}

TEST(TextDecoder, CodePagesIconvLacksAreRefusedByNumber) {
  auto decoder = TextDecoder::ForCodePage(4242);
  ASSERT_FALSE(decoder.ok());
  EXPECT_NE(decoder.status().message().find("4242"), std::string::npos);
}

}  // namespace
}  // namespace baleport::msg
