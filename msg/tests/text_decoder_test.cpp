// Decoding of 8-bit and UTF-16 string values, fed in chunks that split characters.
#include <gtest/gtest.h>

#include <iostream>

#ifndef _WIN32
#include <iconv.h>

#include "support/code_pages.h"
#endif

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

// Bad bytes become U+FFFD, flagged; a code page the system lacks is refused by its number.
TEST(TextDecoder, BadInputStaysVisible) {
  bool errors = false;
  EXPECT_EQ(DecodeInChunks(65001, "a\xff" "b\xc3", 1, &errors), "a\uFFFD" "b\uFFFD");
  EXPECT_TRUE(errors);
  EXPECT_EQ(DecodeInChunks(932, "x\x93", 4, &errors), "x\uFFFD");  // lead byte without its trail
  EXPECT_TRUE(errors);

  TextDecoder utf16 = TextDecoder::ForUtf16();
  std::u16string out;
  const uint8_t bytes[] = {'h', 0, 0x3D, 0xD8, 0x27, 0xDE, 0x00, 0xD8, 'x'};  // h, U+1F627, lone high, odd byte
  for (uint8_t b : bytes) utf16.Decode(&b, 1, &out);
  utf16.Finish(&out);
  EXPECT_EQ(Utf16ToUtf8(out, BadText::kReplace), "h\U0001F627\uFFFD\uFFFD");
  EXPECT_TRUE(utf16.had_errors());

  auto lacking = TextDecoder::ForCodePage(4242);
  EXPECT_TRUE(!lacking.ok() && lacking.status().message().find("4242") != std::string::npos);
}

#ifndef _WIN32
// What iconv makes of the bytes in one call, a byte it cannot decode standing as U+FFFD.
std::string IconvDecode(uint32_t code_page, std::string_view bytes) {
  iconv_t cd = iconv_open("UTF-16LE", IconvCharset(code_page).c_str());
  std::u16string out;
  char* in = const_cast<char*>(bytes.data());
  size_t in_left = bytes.size();
  while (in_left > 0) {
    char16_t buffer[512];
    char* o = reinterpret_cast<char*>(buffer);
    size_t out_left = sizeof buffer;
    const size_t rc = iconv(cd, &in, &in_left, &o, &out_left);
    out.append(buffer, (sizeof buffer - out_left) / 2);
    if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      out.push_back(u'\uFFFD');
      ++in;
      --in_left;
    }
  }
  iconv_close(cd);
  return Utf16ToUtf8(out, BadText::kReplace);
}
#endif

// Single-byte code pages go through a table and multi-byte ones widen their leading ASCII
// themselves: every byte must come out as iconv alone makes it, errors flagged alike.
TEST(TextDecoder, FastPathsAgreeWithIconvOnEveryByte) {
#ifdef _WIN32
  std::cout << "skipped: the fast paths are checked against iconv, which Windows lacks\n";
#else
  for (uint32_t code_page : {874u, 1250u, 1251u, 1252u, 1253u, 1254u, 1256u, 1257u, 28591u, 28595u, 28605u, 20866u}) {
    ASSERT_TRUE(SingleByte(code_page));
    for (int b = 0; b < 256; ++b) {
      const std::string one(1, static_cast<char>(b));
      bool errors = false;
      const std::string expected = IconvDecode(code_page, one);
      EXPECT_EQ(DecodeInChunks(code_page, one, 1, &errors), expected) << "code page " << code_page << ", byte " << b;
      EXPECT_EQ(errors, expected == "\uFFFD") << "code page " << code_page << ", byte " << b;
    }
  }
  for (uint32_t code_page : {932u, 936u, 949u, 950u, 65001u}) {
    ASSERT_TRUE(AsciiTransparent(code_page));
    std::string ascii;
    for (int b = 0; b < 0x80; ++b) ascii += static_cast<char>(b);
    const std::string text = ascii + "\x93\xfa" + ascii;  // a lead byte, then ASCII: a trail byte in 932
    for (size_t chunk : {size_t{1}, size_t{3}, size_t{1000}}) {
      EXPECT_EQ(DecodeInChunks(code_page, text, chunk), IconvDecode(code_page, text)) << "code page " << code_page;
    }
  }
#endif
}

}  // namespace
}  // namespace baleport::msg
