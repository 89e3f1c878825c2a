// The iconv back end of the text decoder (glibc's, on Linux).
#include <iconv.h>

#include <cerrno>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "msg/text_decoder.h"

namespace baleport::msg {
namespace {

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

void TextDecoder::ConverterReturner::operator()(void* cd) const { Pool().Give(code_page, static_cast<iconv_t>(cd)); }

Result<TextDecoder> TextDecoder::ForCodePage(uint32_t code_page) {
  const std::string charset = IconvCharset(code_page);
  iconv_t cd = Pool().Take(code_page, charset);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    return Status::Error("code page " + std::to_string(code_page) + " (" + charset + ") is not supported by iconv");
  }
  TextDecoder decoder;
  decoder.code_page_ = code_page;
  decoder.cd_ = std::unique_ptr<void, ConverterReturner>(cd, ConverterReturner{code_page});
  return decoder;
}

size_t TextDecoder::Convert(const uint8_t* data, size_t n, std::u16string* out, bool final) {
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
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return consumed;
}

}  // namespace baleport::msg
