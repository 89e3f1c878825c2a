// The Windows back end of the text encoder: WideCharToMultiByte, which keeps no state between
// calls, so text of a code page with shift states is held and encoded in one call at the end.
#include <windows.h>

#include <climits>

#include "import/text_encoder.h"
#include "support/code_pages.h"

namespace baleport::import {
namespace {

// Encodes `text` into `code_page` and appends it; false when a character has no form there.
bool EncodePiece(uint32_t code_page, std::u16string_view text, std::string* out) {
  if (text.empty()) return true;
  if (text.size() > INT_MAX / 4) return false;
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int units = static_cast<int>(text.size());
  const DWORD flags = TakesNoFlags(code_page) || code_page == 54936 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int n = WideCharToMultiByte(code_page, flags, wide, units, nullptr, 0, nullptr, nullptr);
  if (n <= 0) return false;
  const size_t start = out->size();
  out->resize(start + static_cast<size_t>(n));
  WideCharToMultiByte(code_page, flags, wide, units, out->data() + start, n, nullptr, nullptr);
  // A character without a form comes out as the code page's substitute (or, where no flag
  // is taken, its nearest look-alike): decoding the bytes back shows either.
  const int back = MultiByteToWideChar(code_page, 0, out->data() + start, n, nullptr, 0);
  if (back != units) return false;
  std::u16string decoded(static_cast<size_t>(back), u'\0');
  MultiByteToWideChar(code_page, 0, out->data() + start, n, reinterpret_cast<wchar_t*>(decoded.data()), back);
  return decoded == text;
}

}  // namespace

void TextEncoder::Closer::operator()(void*) const {}

Result<TextEncoder> TextEncoder::ForCodePage(uint32_t code_page) {
  if (!IsValidCodePage(code_page)) return Status::Error("no encoder for code page " + std::to_string(code_page));
  TextEncoder encoder;
  encoder.code_page_ = code_page;
  return encoder;
}

bool TextEncoder::Encode(std::u16string_view text, std::string* out) {
  if (ConvertedWhole(code_page_)) {
    held_.append(text);
    return true;
  }
  return EncodePiece(code_page_, text, out);
}

bool TextEncoder::Finish(std::string* out) {
  const bool fits = EncodePiece(code_page_, held_, out);
  held_.clear();
  return fits;
}

}  // namespace baleport::import
