#include "msg/text_decoder.h"

#include <cerrno>
#include <unordered_map>
#include <unordered_set>

namespace baleport::msg {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

// A decoder is made for every 8-bit value and every message's choice of code page, and
// iconv_open loads the charset's module and tables each time; so each thread keeps the
// descriptors it has opened, reset, for the next decoder of the same code page.
class IconvPool {
 public:
  static constexpr size_t kKeptPerCodePage = 4;
  ~IconvPool() {
    for (auto& [code_page, list] : idle_) {
      for (iconv_t cd : list) iconv_close(cd);
    }
  }
  // (iconv_t)-1 when iconv lacks the code page.
  iconv_t Take(uint32_t code_page, const std::string& charset) {
    std::vector<iconv_t>& list = idle_[code_page];
    if (!list.empty()) {
      iconv_t cd = list.back();
      list.pop_back();
      return cd;
    }
    if (unsupported_.count(code_page) != 0) return reinterpret_cast<iconv_t>(-1);
    iconv_t cd = iconv_open("UTF-16LE", charset.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) unsupported_.insert(code_page);
    return cd;
  }
  void Give(uint32_t code_page, iconv_t cd) {
    std::vector<iconv_t>& list = idle_[code_page];
    if (list.size() >= kKeptPerCodePage) {
      iconv_close(cd);
      return;
    }
    iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
    list.push_back(cd);
  }

 private:
  std::unordered_map<uint32_t, std::vector<iconv_t>> idle_;
  std::unordered_set<uint32_t> unsupported_;
};

IconvPool& Pool() {
  thread_local IconvPool pool;
  return pool;
}

}  // namespace

void TextDecoder::IconvReturner::operator()(void* cd) const { Pool().Give(code_page, static_cast<iconv_t>(cd)); }

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

Result<TextDecoder> TextDecoder::ForCodePage(uint32_t code_page) {
  const std::string charset = IconvCharset(code_page);
  iconv_t cd = Pool().Take(code_page, charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    return Status::Error("code page " + std::to_string(code_page) + " (" + charset + ") is not supported by iconv");
  }
  TextDecoder decoder;
  decoder.cd_ = std::unique_ptr<void, IconvReturner>(cd, IconvReturner{code_page});
  return decoder;
}

TextDecoder TextDecoder::ForUtf16() { return TextDecoder(); }

void TextDecoder::Decode(const uint8_t* data, size_t n, std::u16string* out) {
  // Straight from the caller's bytes; only a sequence split at the end is kept back.
  if (pending_.empty()) {
    const size_t used = Convert(data, n, out, false);
    pending_.assign(data + used, data + n);
    return;
  }
  pending_.insert(pending_.end(), data, data + n);
  const size_t used = Convert(pending_.data(), pending_.size(), out, false);
  pending_.erase(pending_.begin(), pending_.begin() + used);
}

void TextDecoder::Finish(std::u16string* out) {
  pending_.erase(pending_.begin(), pending_.begin() + Convert(pending_.data(), pending_.size(), out, true));
  if (!pending_.empty()) {
    out->push_back(kReplacement);
    had_errors_ = true;
  }
  pending_.clear();
  if (cd_) iconv(static_cast<iconv_t>(cd_.get()), nullptr, nullptr, nullptr, nullptr);
}

size_t TextDecoder::Convert(const uint8_t* data, size_t n, std::u16string* out, bool final) {
  if (!cd_) {
    const size_t units = n / 2;
    const size_t start = out->size();
    out->resize(start + units);
    for (size_t i = 0; i < units; ++i) (*out)[start + i] = static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
    return 2 * units;
  }
  auto cd = static_cast<iconv_t>(cd_.get());
  size_t consumed = 0;
  char16_t buffer[1024];
  while (consumed < n) {
    char* in = reinterpret_cast<char*>(const_cast<uint8_t*>(data) + consumed);
    size_t in_left = n - consumed;
    char* o = reinterpret_cast<char*>(buffer);
    size_t out_left = sizeof(buffer);
    const size_t rc = iconv(cd, &in, &in_left, &o, &out_left);
    const int err = errno;
    out->append(buffer, (sizeof(buffer) - out_left) / 2);
    consumed = n - in_left;
    if (rc != static_cast<size_t>(-1)) break;
    if (err == E2BIG) continue;
    if (err == EINVAL && !final) break;  // incomplete sequence: wait for more bytes
    // Invalid (or, at the end, incomplete) sequence: replace one byte and go on.
    out->push_back(kReplacement);
    had_errors_ = true;
    ++consumed;
  }
  // Stateful encodings (ISO-2022-JP) may have output left to flush at the end.
  if (final) {
    char* o = reinterpret_cast<char*>(buffer);
    size_t out_left = sizeof(buffer);
    iconv(cd, nullptr, nullptr, &o, &out_left);
    out->append(buffer, (sizeof(buffer) - out_left) / 2);
  }
  return consumed;
}

}  // namespace baleport::msg
