// The iconv back end of the text encoder (glibc's, on Linux).
#include <iconv.h>

#include <bit>
#include <cerrno>

#include "import/text_encoder.h"
#include "support/code_pages.h"

namespace baleport::import {

static_assert(std::endian::native == std::endian::little, "the text is handed to iconv as UTF-16LE");

void TextEncoder::Closer::operator()(void* handle) const { iconv_close(static_cast<iconv_t>(handle)); }

Result<TextEncoder> TextEncoder::ForCodePage(uint32_t code_page) {
  iconv_t cd = iconv_open(IconvCharset(code_page).c_str(), "UTF-16LE");
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    return Status::Error("no encoder for code page " + std::to_string(code_page));
  }
  TextEncoder encoder;
  encoder.code_page_ = code_page;
  encoder.cd_.reset(cd);
  return encoder;
}

bool TextEncoder::Encode(std::u16string_view text, std::string* out) {
  auto cd = static_cast<iconv_t>(cd_.get());
  char* src = reinterpret_cast<char*>(const_cast<char16_t*>(text.data()));
  size_t left = text.size() * 2;
  char buffer[16 << 10];
  while (left > 0) {
    char* dst = buffer;
    size_t room = sizeof buffer;
    const size_t done = iconv(cd, &src, &left, &dst, &room);
    const int error = done == static_cast<size_t>(-1) ? errno : 0;
    out->append(buffer, sizeof buffer - room);
    // EILSEQ: no form in the code page; EINVAL: a lone surrogate at the end, which has none.
    if (error != 0 && error != E2BIG) return false;
  }
  return true;
}

bool TextEncoder::Finish(std::string* out) {
  char buffer[64];
  char* dst = buffer;
  size_t room = sizeof buffer;
  const size_t done = iconv(static_cast<iconv_t>(cd_.get()), nullptr, nullptr, &dst, &room);
  out->append(buffer, sizeof buffer - room);
  return done != static_cast<size_t>(-1);
}

}  // namespace baleport::import
