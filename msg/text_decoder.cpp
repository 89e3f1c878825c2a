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

std::string IconvCharset(uint32_t code_page) {
  switch (code_page) {
    case 1200: return "UTF-16LE";
    case 1201: return "UTF-16BE";
    case 20127: return "ASCII";
    case 20866: return "KOI8-R";
    case 21866: return "KOI8-U";
    case 50220:
    case 50221:
    case 50222: return "ISO-2022-JP";
    case 50225: return "ISO-2022-KR";
    case 51932: return "EUC-JP";
    case 51936: return "EUC-CN";
    case 51949: return "EUC-KR";
    case 52936: return "HZ";
    case 54936: return "GB18030";
    case 65000: return "UTF-7";
    case 65001: return "UTF-8";
    case 10000: return "MACINTOSH";
    default: break;
  }
  if (code_page >= 28591 && code_page <= 28606) return "ISO-8859-" + std::to_string(code_page - 28590);
  return "CP" + std::to_string(code_page);
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
