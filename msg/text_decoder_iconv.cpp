// The iconv back end of the text decoder (glibc's, on Linux).
#include <iconv.h>

#include <cerrno>
#include <unordered_map>

#include "msg/text_decoder.h"
#include "support/code_pages.h"

namespace baleport::msg {
namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

// A decoder is made for every 8-bit value and every message's choice of code page, and
// iconv_open loads the charset's module and tables each time; so each thread keeps the
// descriptors it has opened, reset, for the next decoder of the same code page, and
// remembers (as kNoConverter) the code pages iconv lacks.
struct IconvPool {
  std::unordered_multimap<uint32_t, iconv_t> idle;
  ~IconvPool() {
    for (const auto& [code_page, cd] : idle) {
      if (cd != kNoConverter) iconv_close(cd);
    }
  }
};
thread_local IconvPool pool;

}  // namespace

void TextDecoder::ConverterReturner::operator()(void* cd) const {
  iconv(static_cast<iconv_t>(cd), nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
  pool.idle.emplace(code_page, static_cast<iconv_t>(cd));
}

Result<TextDecoder> TextDecoder::ForCodePage(uint32_t code_page) {
  const std::string charset = IconvCharset(code_page);
  iconv_t cd = kNoConverter;
  if (auto kept = pool.idle.find(code_page); kept != pool.idle.end()) {
    cd = kept->second;
    if (cd != kNoConverter) pool.idle.erase(kept);
  } else if (cd = iconv_open("UTF-16LE", charset.c_str()); cd == kNoConverter) {
    pool.idle.emplace(code_page, kNoConverter);
  }
  if (cd == kNoConverter) {
    return Status::Error("code page " + std::to_string(code_page) + " (" + charset + ") is not supported by iconv");
  }
  TextDecoder decoder(code_page);
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
    out->append(buffer, (sizeof(buffer) - out_left) / 2);  // and back to the initial shift state
  }
  return consumed;
}

}  // namespace baleport::msg
