// The Windows back end of the text decoder: the system's own code pages through
// MultiByteToWideChar, which keeps no state between calls, so a character cut by the end of a
// chunk is held back here until its other bytes come.
#include <windows.h>

#include <algorithm>
#include <climits>

#include "msg/text_decoder.h"
#include "support/code_pages.h"

namespace baleport::msg {
namespace {

// How many of the n bytes end on a character boundary.
size_t CompleteLength(uint32_t code_page, const uint8_t* data, size_t n) {
  if (code_page == CP_UTF8) {
    // Back from the end to the last lead byte; its sequence is whole when the bytes after it
    // are as many as it announces.
    size_t lead = n;
    while (lead > 0 && n - lead < 4 && (data[lead - 1] & 0xC0) == 0x80) --lead;
    if (lead == 0) return n;
    const uint8_t b = data[lead - 1];
    const size_t length = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
    return n - (lead - 1) >= length ? n : lead - 1;
  }
  CPINFO info;
  if (!GetCPInfo(code_page, &info) || info.MaxCharSize == 1) return n;
  for (size_t i = 0, step; i < n; i += step) {  // double-byte code pages: a lead byte takes the byte after it
    step = IsDBCSLeadByteEx(code_page, data[i]) ? 2 : 1;
    if (i + step > n) return i;
  }
  return n;
}

}  // namespace

// Nothing is pooled on Windows: cd_ stays empty.
void TextDecoder::ConverterReturner::operator()(void*) const {}

Result<TextDecoder> TextDecoder::ForCodePage(uint32_t code_page) {
  if (!IsValidCodePage(code_page)) {
    return Status::Error("code page " + std::to_string(code_page) + " (" + IconvCharset(code_page) +
                         ") is not installed on this system");
  }
  return TextDecoder(code_page);
}

size_t TextDecoder::Convert(const uint8_t* data, size_t n, std::u16string* out, bool final) {
  if (ConvertedWhole(code_page_) && !final) return 0;
  constexpr size_t kPiece = size_t{1} << 20;
  size_t used = 0;
  while (used < n) {
    const size_t window = ConvertedWhole(code_page_) ? std::min<size_t>(n - used, INT_MAX) : std::min(n - used, kPiece);
    const size_t piece = CompleteLength(code_page_, data + used, window);
    if (piece == 0) break;  // only the start of a character: wait for the rest
    const auto* in = reinterpret_cast<const char*>(data + used);
    const int in_n = static_cast<int>(piece);
    DWORD flags = TakesNoFlags(code_page_) ? 0 : MB_ERR_INVALID_CHARS;
    int units = MultiByteToWideChar(code_page_, flags, in, in_n, nullptr, 0);
    if (units == 0) {
      // Invalid bytes: the system's substitutes stand in for them.
      had_errors_ = true;
      flags = 0;
      units = MultiByteToWideChar(code_page_, flags, in, in_n, nullptr, 0);
    }
    const size_t start = out->size();
    out->resize(start + static_cast<size_t>(units));
    if (units > 0) {
      MultiByteToWideChar(code_page_, flags, in, in_n, reinterpret_cast<wchar_t*>(out->data() + start), units);
    }
    used += piece;
  }
  return used;
}

}  // namespace baleport::msg
