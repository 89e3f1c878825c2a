#include "pst/ltp/property_value.h"

#include "support/little_endian.h"

namespace baleport::pst::ltp {

uint32_t FixedSize(uint16_t type) {
  switch (type) {
    case 0x0002: return 2;
    case 0x0003: case 0x0004: case 0x000A: return 4;
    case 0x000B: return 1;
    case 0x0005: case 0x0006: case 0x0007: case 0x0014: case 0x0040: return 8;
    case 0x0048: return 16;
    default: return 0;
  }
}

std::string JoinMultiValue(const std::vector<std::string>& items) {
  std::string out;
  AppendLe<uint32_t>(out, static_cast<uint32_t>(items.size()));
  uint32_t off = static_cast<uint32_t>(4 + 4 * items.size());
  for (const auto& i : items) {
    AppendLe<uint32_t>(out, off);
    off += static_cast<uint32_t>(i.size());
  }
  for (const auto& i : items) out += i;
  return out;
}

Result<std::vector<std::string>> SplitMultiValue(std::string_view data) {
  if (data.size() < 4) return Status::Error("a multi-valued property is too short for its count");
  const uint32_t n = LoadLe<uint32_t>(data.data());
  if (n > (data.size() - 4) / 4) return Status::Error("a multi-valued property claims more items than it holds");
  std::vector<std::string> out;
  for (uint32_t i = 0; i < n; ++i) {
    uint32_t begin = LoadLe<uint32_t>(data.data() + 4 + 4 * i);
    uint32_t end = i + 1 < n ? LoadLe<uint32_t>(data.data() + 8 + 4 * i) : static_cast<uint32_t>(data.size());
    if (begin < 4 + 4 * n || end < begin || end > data.size()) {
      return Status::Error("a multi-valued property has items out of place");
    }
    out.emplace_back(data.substr(begin, end - begin));
  }
  return out;
}

}  // namespace baleport::pst::ltp
