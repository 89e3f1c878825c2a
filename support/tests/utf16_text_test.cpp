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
    if (cp < 0x10000) {
      out += static_cast<char16_t>(cp);
    } else {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    }
  }
  return out;
}

std::string Utf8ByCodePoint(std::u16string_view text, BadText bad) {
  std::string out;
  const auto put = [&out](char32_t cp) {
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += {static_cast<char>(0xC0 | (cp >> 6)), static_cast<char>(0x80 | (cp & 0x3F))};
    } else if (cp < 0x10000) {
      out += {static_cast<char>(0xE0 | (cp >> 12)), static_cast<char>(0x80 | ((cp >> 6) & 0x3F)),
              static_cast<char>(0x80 | (cp & 0x3F))};
    } else {
      out += {static_cast<char>(0xF0 | (cp >> 18)), static_cast<char>(0x80 | ((cp >> 12) & 0x3F)),
              static_cast<char>(0x80 | ((cp >> 6) & 0x3F)), static_cast<char>(0x80 | (cp & 0x3F))};
    }
  };
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t u = text[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      put(0x10000 + ((char32_t(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
      ++i;
    } else if (bad == BadText::kEscape && u >= 0xDC80 && u <= 0xDCFF) {
      out += static_cast<char>(u - 0xDC00);
    } else {
      put(u >= 0xD800 && u <= 0xDFFF ? 0xFFFD : u);
    }
  }
  return out;
}

// Every sequence of up to four bytes drawn from the boundaries of the encoding: overlong
// forms, surrogates, cut sequences, stray continuations, bytes that never occur.
TEST(Utf16TextTest, BothPathsAgreeOnOddUtf8) {
  const std::vector<unsigned char> bytes = {0x00, 0x41, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0,
                                            0xC1, 0xC2, 0xDF, 0xE0, 0xED, 0xEF, 0xF0, 0xF4, 0xF5, 0xFF};
  std::string text;
  const auto check = [&text] {
    for (BadText bad : {BadText::kEscape, BadText::kReplace}) {
      ASSERT_EQ(Utf8ToUtf16(text, bad), Utf16ByCodePoint(text, bad)) << ::testing::PrintToString(text);
    }
  };
  for (unsigned char a : bytes) {
    for (unsigned char b : bytes) {
      for (unsigned char c : bytes) {
        text = {char(a), char(b), char(c)};
        check();
        for (unsigned char d : bytes) {
          text = {char(a), char(b), char(c), char(d)};
          check();
        }
      }
    }
  }
}

// Every sequence of up to three units around the surrogates and the escaped bytes, and
// each name through UTF-16 and back unchanged when escaped.
TEST(Utf16TextTest, BothPathsAgreeOnOddUtf16AndNamesRoundTrip) {
  const std::vector<char16_t> units = {0x0000, 0x0041, 0x007F, 0x0080, 0x07FF, 0x0800, 0xD7FF, 0xD800, 0xDBFF,
                                       0xDC00, 0xDC7F, 0xDC80, 0xDCFF, 0xDD00, 0xDFFF, 0xE000, 0xFFFD, 0xFFFF};
  std::u16string all;  // long texts take another path than short ones
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
    AssignUtf8(assigned, all, bad);
    EXPECT_EQ(assigned, Utf8ByCodePoint(all, bad));
    AssignUtf8(assigned, all.substr(0, 60), bad);
    EXPECT_EQ(assigned, Utf8ByCodePoint(all.substr(0, 60), bad));
  }
  for (const std::string name : {"Latin-1 \xe9t\xe9.msg", "\xed\xa0\x80 cut \xe4\xbc", "\xf0\x9f\x98\x80 \xc3\xa9"}) {
    EXPECT_EQ(Utf16ToUtf8(Utf8ToUtf16(name)), name);
  }
}

}  // namespace
}  // namespace baleport
