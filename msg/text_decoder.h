// Turns the bytes of string values into UTF-16 (and UTF-8) text, chunk by chunk, so that a
// large body can be converted while it is streamed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/status.h"

namespace baleport::msg {

// Code page used for 8-bit strings when a message names none.
inline constexpr uint32_t kDefaultCodePage = 1252;

// The ANSI code page of a Windows locale (PR_MESSAGE_LOCALE_ID); 1252 for unknown ones.
uint32_t AnsiCodePageOfLocale(uint32_t lcid);

class TextDecoder {
 public:
  // For PT_STRING8 values in the given Windows code page; fails when the system lacks it
  // (iconv on Linux, MultiByteToWideChar on Windows).
  static Result<TextDecoder> ForCodePage(uint32_t code_page);
  // For PT_UNICODE values (UTF-16LE).
  static TextDecoder ForUtf16() { return TextDecoder(); }

  // Appends the text of the next chunk. A sequence split across chunks is kept for the next
  // call; bytes that do not decode become U+FFFD.
  void Decode(const uint8_t* data, size_t n, std::u16string* out);
  // Ends the value: an incomplete trailing sequence becomes U+FFFD.
  void Finish(std::u16string* out);
  // Whether some bytes did not decode (and became U+FFFD).
  bool had_errors() const { return had_errors_; }

 private:
  static constexpr char16_t kReplacement = u'\uFFFD';
  // Hands iconv's descriptor back to the thread's pool (see ForCodePage).
  struct ConverterReturner {
    uint32_t code_page;  // no initializer: it would keep the type from being default-constructible here
    void operator()(void* cd) const;
  };
  // The characters of a single-byte code page's 256 bytes, as the back end decodes them.
  struct ByteTable {
    char16_t unit[256];
    bool valid[256];
  };
  explicit TextDecoder(uint32_t code_page = 0) : code_page_(code_page) {}
  // Decodes what it can of data[0, n); returns the bytes used. Take handles UTF-16, single-byte
  // code pages and leading ASCII itself and hands the rest to the back end's Convert.
  size_t Take(const uint8_t* data, size_t n, std::u16string* out, bool final);
  size_t Convert(const uint8_t* data, size_t n, std::u16string* out, bool final);
  const ByteTable& Table();

  uint32_t code_page_ = 0;  // 0 for UTF-16 input
  const ByteTable* table_ = nullptr;  // for a single-byte code page, once looked up
  std::unique_ptr<void, ConverterReturner> cd_;  // iconv's descriptor; empty for UTF-16 and on Windows
  std::vector<uint8_t> pending_;
  bool had_errors_ = false;
};

}  // namespace baleport::msg
