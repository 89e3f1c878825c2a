#include "support/utf16_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace baleport {
namespace {

// The converters decode common sequences on a fast path beside the general one; these are
// the plain definitions, a code point at a time, that both paths must agree with.
std::u16string Utf16ByCodePoint(std::string_view text, BadText bad) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    char32_t cp = DecodeUtf8(text, i);
    if (bad == BadText::kReplace && cp >= 0xDC80 && cp <= 0xDCFF) cp = 0xFFFD;
    if (cp >= 0x10000) {
      out += char16_t(0xD800 + ((cp - 0x10000) >> 10));
      cp = 0xDC00 + ((cp - 0x10000) & 0x3FF);
    }
    out += char16_t(cp);
  }
  return out;
}

std::string Utf8ByCodePoint(std::u16string_view text, BadText bad) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[++i] - 0xDC00);
    } else if (bad == BadText::kEscape && cp >= 0xDC80 && cp <= 0xDCFF) {
      out += char(cp - 0xDC00);
      continue;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    const int n = cp < 0x80 ? 1 : cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
    out += char((n == 1 ? 0 : 0xFF00 >> n) | (cp >> (6 * (n - 1))));
    for (int k = n - 2; k >= 0; --k) out += char(0x80 | ((cp >> (6 * k)) & 0x3F));
  }
  return out;
}

// Every sequence of up to four bytes drawn from the boundaries of the encoding: overlong
// forms, surrogates, cut sequences, stray continuations, bytes that never occur.
TEST(Utf16TextTest, BothPathsAgreeOnOddUtf8) {
  const std::vector<unsigned char> bytes = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0,
                                            0xC1, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
  for (unsigned char a : bytes) {
    for (unsigned char b : bytes) {
      for (unsigned char c : bytes) {
        for (int d = -1; d < int(bytes.size()); ++d) {
          std::string text = {char(a), char(b), char(c)};
          if (d >= 0) text += char(bytes[d]);
          for (BadText bad : {BadText::kEscape, BadText::kReplace}) {
            ASSERT_EQ(Utf8ToUtf16(text, bad), Utf16ByCodePoint(text, bad)) << ::testing::PrintToString(text);
          }
        }
      }
    }
  }
}

// Every sequence of three units around the surrogates and the escaped bytes, alone and all
// in one long text (another path than short ones), and names through UTF-16 and back.
TEST(Utf16TextTest, BothPathsAgreeOnOddUtf16AndNamesRoundTrip) {
  const std::vector<char16_t> units = {0x0000, 0x0041, 0x007F, 0x0080, 0x07FF, 0x0800, 0xD7FF, 0xD800, 0xDBFF,
                                       0xDC00, 0xDC7F, 0xDC80, 0xDCFF, 0xDD00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFF};
  std::u16string all;
  for (char16_t a : units) {
    for (char16_t b : units) {
      for (char16_t c : units) {
        const std::u16string text = {a, b, c};
        all += text;
        for (BadText bad : {BadText::kEscape, BadText::kReplace}) {
          ASSERT_EQ(Utf16ToUtf8(text, bad), Utf8ByCodePoint(text, bad)) << int(a) << " " << int(b) << " " << int(c);
        }
      }
    }
  }
  std::string assigned = "an earlier name";
  for (BadText bad : {BadText::kEscape, BadText::kReplace}) {
    EXPECT_EQ(Utf16ToUtf8(all, bad), Utf8ByCodePoint(all, bad));
    for (size_t length : {all.size(), size_t{60}}) {
      AssignUtf8(assigned, all.substr(0, length), bad);
      EXPECT_EQ(assigned, Utf8ByCodePoint(all.substr(0, length), bad));
    }
  }
  for (const std::string name : {"Latin-1 \xe9t\xe9.msg", "\xed\xa0\x80 cut \xe4\xbc", "\xf0\x9f\x98\x80 \xc3\xa9"}) {
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(name)), name);
  }
}

}  // namespace
}  // namespace baleport
