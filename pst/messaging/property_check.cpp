#include "pst/messaging/property_check.h"

#include "pst/messaging/text.h"
#include "support/hex.h"

namespace baleport::pst {

namespace {

std::string TagName(mapi::PropTag tag) { return HexNumber(tag, 8); }

bool Storable(uint16_t base) {
  switch (base) {
    case 0x0002: case 0x0003: case 0x0004: case 0x0005: case 0x0006: case 0x0007: case 0x000A: case 0x000B:
    case 0x000D: case 0x0014: case 0x001E: case 0x001F: case 0x0040: case 0x0048: case 0x0102:
      return true;
    default:
      return false;
  }
}

}  // namespace

Result<ltp::PropertyValue> NormalizeProperty(Property p) {
  const uint16_t type = mapi::TagType(p.tag);
  const uint16_t base = type & ~mapi::kMultiValued;
  const bool multi = (type & mapi::kMultiValued) != 0;
  auto bad = [&](const std::string& why) { return Status::Error("property " + TagName(p.tag) + " " + why); };
  if (!Storable(base) || (multi && base == 0x000D)) return bad("has a type a store cannot hold");
  if (mapi::TagId(p.tag) == 0) return bad("has no property id");
  if (const uint32_t n = ltp::FixedSize(base)) {
    if (multi ? p.data.size() % n != 0 : p.data.size() != n) return bad("has a value of the wrong size");
  } else if (base == 0x000D) {
    if (p.data.size() != 8) return bad("is an object reference of the wrong size");
  } else if (!multi) {
    if (base == 0x001E) return ltp::PropertyValue{0x001F, Utf8ToUtf16Le(p.data), 0};
    if (base == 0x001F && p.data.size() % 2 != 0) return bad("holds a UTF-16 string of odd length");
  }
  ltp::PropertyValue v{type, std::move(p.data), 0};
  if (ltp::FixedSize(base) || base == 0x000D || !multi) return v;
  auto items = ltp::SplitMultiValue(v.data);
  if (!items.ok()) return bad(items.status().message());
  if (base == 0x001E) {
    for (auto& i : *items) i = Utf8ToUtf16Le(i);
    v.type = mapi::kMultiValued | 0x001F;
    v.data = ltp::JoinMultiValue(*items);
  } else if (base == 0x001F) {
    for (const auto& i : *items) {
      if (i.size() % 2 != 0) return bad("holds a UTF-16 string of odd length");
    }
  }
  return v;
}

}  // namespace baleport::pst
