#include "pst/store.h"

#include <chrono>

#include "pst/ltp/property_value.h"
#include "pst/messaging/store_object.h"
#include "pst/messaging/text.h"
#include "support/little_endian.h"

namespace baleport::pst {

namespace {

template <typename T>
Property Fixed(mapi::PropTag tag, T v) {
  Property p{tag, {}};
  AppendLe<T>(p.data, v);
  return p;
}

// String8 tags become Unicode ones: the store holds every string as UTF-16.
mapi::PropTag UnicodeTag(mapi::PropTag tag) {
  uint16_t type = mapi::TagType(tag);
  if ((type & ~mapi::kMultiValued) == 0x001E) type = static_cast<uint16_t>((type & mapi::kMultiValued) | 0x001F);
  return mapi::MakeTag(mapi::TagId(tag), type);
}

}  // namespace

namespace prop {

Property Int16(mapi::PropTag tag, int16_t v) { return Fixed<uint16_t>(tag, static_cast<uint16_t>(v)); }
Property Int32(mapi::PropTag tag, int32_t v) { return Fixed<uint32_t>(tag, static_cast<uint32_t>(v)); }
Property Int64(mapi::PropTag tag, int64_t v) { return Fixed<uint64_t>(tag, static_cast<uint64_t>(v)); }
Property Bool(mapi::PropTag tag, bool v) { return Property{tag, std::string(1, v ? '\1' : '\0')}; }
Property Time(mapi::PropTag tag, uint64_t filetime) { return Fixed<uint64_t>(tag, filetime); }
Property String(mapi::PropTag tag, std::string_view utf8) { return Property{UnicodeTag(tag), Utf8ToUtf16Le(utf8)}; }
Property Binary(mapi::PropTag tag, std::string_view bytes) { return Property{tag, std::string(bytes)}; }
Property Guid(mapi::PropTag tag, const pst::Guid& guid) {
  return Property{tag, std::string(reinterpret_cast<const char*>(guid.data()), guid.size())};
}

Property Multi(mapi::PropTag tag, const std::vector<std::string>& elements) {
  const mapi::PropTag t = UnicodeTag(tag);
  const uint16_t base = mapi::TagType(t) & ~mapi::kMultiValued;
  if (ltp::FixedSize(base) > 0) {
    std::string data;
    for (const auto& e : elements) data += e;
    return Property{t, data};
  }
  if (base != 0x001F) return Property{t, ltp::JoinMultiValue(elements)};
  std::vector<std::string> wide;
  for (const auto& e : elements) wide.push_back(Utf8ToUtf16Le(e));
  return Property{t, ltp::JoinMultiValue(wide)};
}

}  // namespace prop

uint64_t FileTimeNow() {
  using namespace std::chrono;
  constexpr uint64_t kUnixEpochInFileTime = 116444736000000000ull;
  const auto since = duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
  return kUnixEpochInFileTime + static_cast<uint64_t>(since / 100);
}

Result<std::unique_ptr<Store>> Store::Create(const std::string& path, std::string_view display_name,
                                             const StoreOptions& options) {
  return MessageStore::CreateAt(path, display_name, options);
}

Result<std::unique_ptr<Store>> Store::Open(const std::string& path, const StoreOptions& options) {
  return MessageStore::OpenAt(path, options);
}

}  // namespace baleport::pst
