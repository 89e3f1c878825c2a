#include "import/html_body.h"

#include <optional>
#include <string>
#include <vector>

#include "import/text_encoder.h"
#include "support/little_endian.h"
#include "support/utf16_text.h"

namespace baleport::import {
namespace {

constexpr size_t kChunk = 64 << 10;
constexpr uint32_t kUtf8 = 65001;

bool IsHighSurrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

}  // namespace

Result<bool> EncodeHtml(const msg::PropertyObject& object, const msg::Property& html, uint32_t code_page,
                        const std::function<Status(std::string_view)>& write) {
  // UTF-8 is written here, the same on every system; other code pages by the system's encoder.
  std::optional<TextEncoder> encoder;
  if (code_page != kUtf8) {
    Result<TextEncoder> made = TextEncoder::ForCodePage(code_page);
    if (!made.ok()) return made.status().WithContext(object.where());
    encoder.emplace(std::move(*made));
  }
  Result<msg::ValueStream> in = object.OpenValue(html);
  if (!in.ok()) return in.status();
  std::vector<uint8_t> bytes;  // read, not yet encoded: half a unit, or a surrogate before its pair
  std::u16string text;
  std::string out;
  for (bool end = false; !end;) {
    const size_t kept = bytes.size();
    bytes.resize(kept + kChunk);
    Result<size_t> n = in->Read(bytes.data() + kept, kChunk);
    if (!n.ok()) return n.status();
    bytes.resize(kept + *n);
    end = in->remaining() == 0;
    text.resize(bytes.size() / 2);
    for (size_t i = 0; i < text.size(); ++i) text[i] = LoadLe<uint16_t>(&bytes[2 * i]);
    if (!end && !text.empty() && IsHighSurrogate(text.back())) text.pop_back();
    bytes.erase(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(2 * text.size()));
    // The value's terminating NUL is not part of the text.
    if (end) {
      while (!text.empty() && text.back() == u'\0') text.pop_back();
    }
    out.clear();
    if (!encoder) {
      out = Utf16ToUtf8(text, BadText::kReplace);
    } else if (!encoder->Encode(text, &out)) {
      return false;
    }
    BALEPORT_RETURN_IF_ERROR(write(out));
  }
  if (encoder) {
    out.clear();
    if (!encoder->Finish(&out)) return false;
    BALEPORT_RETURN_IF_ERROR(write(out));
  }
  return true;
}

}  // namespace baleport::import
