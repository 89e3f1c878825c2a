#include "import/html_body.h"

#include <iconv.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "msg/text_decoder.h"

namespace baleport::import {
namespace {

constexpr size_t kChunk = 64 << 10;
constexpr uint32_t kUtf8 = 65001;

struct IconvCloser {
  void operator()(void* cd) const { iconv_close(static_cast<iconv_t>(cd)); }
};

}  // namespace

Result<bool> EncodeHtml(const msg::PropertyObject& object, const msg::Property& html, uint32_t code_page,
                        const std::function<Status(std::string_view)>& write) {
  const std::string charset = msg::IconvCharset(code_page);
  iconv_t opened = iconv_open(charset.c_str(), "UTF-16LE");
  if (opened == reinterpret_cast<iconv_t>(-1)) {
    return Status::Error(object.where() + ": no encoder for code page " + std::to_string(code_page));
  }
  std::unique_ptr<void, IconvCloser> cd(opened);
  Result<msg::ValueStream> in = object.OpenValue(html);
  if (!in.ok()) return in.status();
  std::vector<char> pending;  // input not yet converted: a sequence split across chunks
  std::string out(kChunk * 2, '\0');
  std::vector<char> chunk(kChunk);
  for (bool end = false; !end;) {
    Result<size_t> n = in->Read(chunk.data(), chunk.size());
    if (!n.ok()) return n.status();
    end = in->remaining() == 0;
    pending.insert(pending.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(*n));
    char* src = pending.data();
    size_t left = pending.size() - pending.size() % 2;
    while (left > 0) {
      char* dst = out.data();
      size_t room = out.size();
      const size_t done = iconv(static_cast<iconv_t>(cd.get()), &src, &left, &dst, &room);
      const int error = done == static_cast<size_t>(-1) ? errno : 0;
      std::string_view produced(out.data(), out.size() - room);
      // The value's terminating NUL is not part of the text.
      if (left == 0 && end) {
        while (!produced.empty() && produced.back() == '\0') produced.remove_suffix(1);
      }
      BALEPORT_RETURN_IF_ERROR(write(produced));
      if (error == E2BIG) continue;
      if (error == EILSEQ) {
        if (code_page != kUtf8) return false;
        BALEPORT_RETURN_IF_ERROR(write("\xEF\xBF\xBD"));
        src += 2;
        left -= 2;
        continue;
      }
      if (error == EINVAL && end) {  // a surrogate without its pair at the very end
        if (code_page != kUtf8) return false;
        BALEPORT_RETURN_IF_ERROR(write("\xEF\xBF\xBD"));
        left = 0;
      }
      break;
    }
    pending.erase(pending.begin(), pending.begin() + (src - pending.data()));
  }
  // A stateful encoding (ISO-2022-JP) ends by shifting back to ASCII.
  char* dst = out.data();
  size_t room = out.size();
  iconv(static_cast<iconv_t>(cd.get()), nullptr, nullptr, &dst, &room);
  BALEPORT_RETURN_IF_ERROR(write(std::string_view(out.data(), out.size() - room)));
  return true;
}

}  // namespace baleport::import
