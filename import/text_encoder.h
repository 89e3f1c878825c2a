// Unicode text encoded into a Windows code page, a piece at a time: iconv on Linux,
// WideCharToMultiByte on Windows, the same bytes from both.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "support/status.h"

namespace baleport::import {

class TextEncoder {
 public:
  // Fails when the system has no encoder for the code page.
  static Result<TextEncoder> ForCodePage(uint32_t code_page);

  // Appends the encoding of `text`, which holds whole characters (a surrogate pair is never
  // cut); false when one of them has no form in the code page.
  bool Encode(std::u16string_view text, std::string* out);
  // Ends the text: a code page with shift states (ISO-2022-JP) returns to ASCII.
  bool Finish(std::string* out);

 private:
  struct Closer {
    void operator()(void* handle) const;
  };
  TextEncoder() = default;

  uint32_t code_page_ = 0;
  std::unique_ptr<void, Closer> cd_;  // iconv's descriptor; empty on Windows
  std::u16string held_;               // Windows: text of a code page with shift states, encoded whole
};

}  // namespace baleport::import
