#include "msg/text_decoder.h"

namespace baleport::msg {

uint32_t AnsiCodePageOfLocale(uint32_t lcid) {
  const uint32_t language = lcid & 0x3FF;
  switch (language) {
    case 0x11: return 932;  // Japanese
    case 0x04: return (lcid == 0x0404 || lcid == 0x0C04 || lcid == 0x1404) ? 950 : 936;  // Chinese
    case 0x12: return 949;  // Korean
    case 0x02: case 0x19: case 0x22: case 0x23: case 0x2F: case 0x3F: return 1251;  // Cyrillic
    case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1A: case 0x1B: case 0x1C: case 0x24: return 1250;
    case 0x08: return 1253;  // Greek
    case 0x1F: return 1254;  // Turkish
    case 0x0D: return 1255;  // Hebrew
    case 0x01: case 0x20: case 0x29: return 1256;  // Arabic script
    case 0x25: case 0x26: case 0x27: return 1257;  // Baltic
    case 0x2A: return 1258;  // Vietnamese
    case 0x1E: return 874;   // Thai
    default: return 1252;
  }
}

TextDecoder TextDecoder::ForUtf16() { return TextDecoder(); }

size_t TextDecoder::Take(const uint8_t* data, size_t n, std::u16string* out, bool final) {
  if (code_page_ != 0) return Convert(data, n, out, final);
  const size_t units = n / 2;
  const size_t start = out->size();
  out->resize(start + units);
  for (size_t i = 0; i < units; ++i) (*out)[start + i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  return 2 * units;
}

void TextDecoder::Decode(const uint8_t* data, size_t n, std::u16string* out) {
  // Straight from the caller's bytes; only a sequence split at the end is kept back.
  if (pending_.empty()) {
    const size_t used = Take(data, n, out, false);
    pending_.assign(data + used, data + n);
    return;
  }
  pending_.insert(pending_.end(), data, data + n);
  const size_t used = Take(pending_.data(), pending_.size(), out, false);
  pending_.erase(pending_.begin(), pending_.begin() + used);
}

void TextDecoder::Finish(std::u16string* out) {
  pending_.erase(pending_.begin(), pending_.begin() + Take(pending_.data(), pending_.size(), out, true));
  if (!pending_.empty()) {
    out->push_back(kReplacement);
    had_errors_ = true;
  }
  pending_.clear();
}

}  // namespace baleport::msg
