#include "msg/text_decoder.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "support/code_pages.h"

namespace baleport::msg {

uint32_t AnsiCodePageOfLocale(uint32_t lcid) {
  switch (lcid & 0x3FF) {  // the primary language
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

// Most 8-bit values are short and a call into the back end costs more than the text: a
// single-byte code page is decoded through a table the back end fills once per thread, and
// the ASCII a multi-byte value starts with is widened before the back end takes the rest.
const TextDecoder::ByteTable& TextDecoder::Table() {
  thread_local std::unordered_map<uint32_t, ByteTable> tables;  // its elements never move
  auto [table, added] = tables.try_emplace(code_page_);
  if (added) {
    const bool had_errors = had_errors_;
    for (int b = 0; b < 256; ++b) {
      const auto byte = static_cast<uint8_t>(b);
      std::u16string one;
      had_errors_ = false;
      Convert(&byte, 1, &one, true);
      table->second.valid[b] = !had_errors_ && one.size() == 1;
      table->second.unit[b] = one.size() == 1 ? one[0] : kReplacement;
    }
    had_errors_ = had_errors;
  }
  return table->second;
}

size_t TextDecoder::Take(const uint8_t* data, size_t n, std::u16string* out, bool final) {
  const size_t start = out->size();
  if (code_page_ != 0 && SingleByte(code_page_)) {
    if (table_ == nullptr) table_ = &Table();
    out->resize(start + n);
    char16_t* units = out->data() + start;
    bool valid = true;
    for (size_t i = 0; i < n; ++i) {
      units[i] = table_->unit[data[i]];
      valid &= table_->valid[data[i]];
    }
    had_errors_ |= !valid;
    return n;
  }
  if (code_page_ != 0) {
    size_t ascii = 0;
    if (AsciiTransparent(code_page_)) {
      while (ascii < n && data[ascii] < 0x80) ++ascii;
      out->resize(start + ascii);
      std::copy(data, data + ascii, out->data() + start);
    }
    return ascii + Convert(data + ascii, n - ascii, out, final);
  }
  const size_t units = n / 2;
  out->resize(start + units);
  std::memcpy(out->data() + start, data, 2 * units);  // little-endian targets: the bytes are the units
  return 2 * units;
}

void TextDecoder::Decode(const uint8_t* data, size_t n, std::u16string* out) {
  // Straight from the caller's bytes; only a sequence split at the end is kept back.
  if (pending_.empty()) {
    pending_.assign(data + Take(data, n, out, false), data + n);
    return;
  }
  pending_.insert(pending_.end(), data, data + n);
  pending_.erase(pending_.begin(), pending_.begin() + Take(pending_.data(), pending_.size(), out, false));
}

void TextDecoder::Finish(std::u16string* out) {
  if (Take(pending_.data(), pending_.size(), out, true) < pending_.size()) {
    out->push_back(kReplacement);
    had_errors_ = true;
  }
  pending_.clear();
}

}  // namespace baleport::msg
