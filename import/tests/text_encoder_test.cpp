// The HTML body's encoder, iconv here and WideCharToMultiByte under Wine.
#include "import/text_encoder.h"

#include <gtest/gtest.h>

#include <iostream>
#include <optional>
#include <tuple>

#include "support/utf16_text.h"

namespace baleport::import {
namespace {

std::optional<std::string> EncodeInPieces(uint32_t code_page, const std::string& utf8, size_t piece) {
  Result<TextEncoder> encoder = TextEncoder::ForCodePage(code_page);
  EXPECT_TRUE(encoder.ok()) << encoder.status().message();
  const std::u16string text = Utf8ToUtf16(utf8);
  std::string out;
  for (size_t at = 0; at < text.size(); at += piece) {
    if (!encoder->Encode(std::u16string_view(text).substr(at, piece), &out)) return std::nullopt;
  }
  if (!encoder->Finish(&out)) return std::nullopt;
  return out;
}

// Wine lacks the ISO-2022 code pages Windows has; the Linux run covers that case.
bool Available(uint32_t code_page) {
  if (TextEncoder::ForCodePage(code_page).ok()) return true;
  std::cout << "code page " << code_page << " skipped: this system lacks it\n";
  return false;
}

// The same bytes in pieces of any size, or none when a character has no form: the caller then
// writes the body as UTF-8, so nothing may come out as a look-alike or '?'.
TEST(TextEncoder, GivesTheSameBytesInAnyPiecesOrRefuses) {
  const std::tuple<uint32_t, std::string, std::optional<std::string>> cases[] = {
      {20127, "<p>plain</p>", "<p>plain</p>"},
      {28591, "<p>caf\xc3\xa9 \xc3\x9f</p>", "<p>caf\xe9 \xdf</p>"},
      {1252, "\xe2\x82\xac \xc3\xa9t\xc3\xa9", "\x80 \xe9t\xe9"},
      {1251, "Привет", "\xcf\xf0\xe8\xe2\xe5\xf2"},
      {932, "日本語のテスト", "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x65\x83\x58\x83\x67"},
      {50220, "日本語 ok 日本", "\x1b$BF|K\\8l\x1b(B ok \x1b$BF|K\\\x1b(B"},  // the shift state spans pieces
      {20127, "caf\xc3\xa9", std::nullopt},
      {28591, "\xe2\x82\xac", std::nullopt},
      {1252, "\xe2\x84\xa2 \xe2\x88\x9e", std::nullopt},  // ™ has a form, ∞ has none
      {50220, "\xe2\x82\xac", std::nullopt},
  };
  for (const auto& [code_page, utf8, bytes] : cases) {
    if (!Available(code_page)) continue;
    for (size_t piece : {size_t{1}, size_t{2}, size_t{64}}) {
      EXPECT_EQ(EncodeInPieces(code_page, utf8, piece), bytes) << "code page " << code_page << ", pieces of " << piece;
    }
  }
  Result<TextEncoder> encoder = TextEncoder::ForCodePage(28591);
  ASSERT_TRUE(encoder.ok());
  std::string out;
  EXPECT_FALSE(encoder->Encode(u"a\xD800" u"b", &out)) << "a lone surrogate";
}

}  // namespace
}  // namespace baleport::import
