#include "pst/messaging/name_map.h"

#include <algorithm>
#include <cstring>

#include "pst/disk/crc.h"
#include "pst/messaging/text.h"
#include "support/little_endian.h"

namespace baleport::pst {



namespace {
constexpr uint16_t kBucketCountId = 0x0001, kGuidStreamId = 0x0002, kEntryStreamId = 0x0003, kStringStreamId = 0x0004;
constexpr uint16_t kFirstBucketId = 0x1000;
constexpr size_t kMaxNamedProperties = 0x7FFF;
}  // namespace

NameMap NameMap::Initial() {
  NameMap m;
  m.pc_[kBucketCountId] = ltp::PropertyValue{0x0003, std::string("\xFB\0\0\0", 4), 0};
  NamedProperty side_effects;
  side_effects.property_set = kPsetidCommon;
  side_effects.number = kLidSideEffects;
  (void)m.Map(side_effects).value();
  NamedProperty content_class;
  content_class.property_set = kPsInternetHeaders;
  content_class.name = "content-class";
  (void)m.Map(content_class).value();
  return m;
}

NameMap::Key NameMap::KeyOf(const NamedProperty& n) {
  if (n.number) return Key{n.property_set, false, *n.number, std::string()};
  return Key{n.property_set, true, 0, n.name};
}

Result<NameMap> NameMap::Load(const ltp::PropertyMap& pc, const std::string& where) {
  NameMap m;
  m.pc_ = pc;
  auto get = [&](uint16_t id) -> std::string {
    auto it = pc.find(id);
    return it == pc.end() ? std::string() : it->second.data;
  };
  std::string count = get(kBucketCountId);
  if (count.size() != 4 || LoadLe<uint32_t>(count, 0) == 0) {
    return Status::Error(where + " is damaged: the named-property map has no bucket count");
  }
  m.bucket_count_ = LoadLe<uint32_t>(count, 0);
  std::string guids = get(kGuidStreamId);
  for (size_t i = 0; i + 16 <= guids.size(); i += 16) {
    Guid g;
    std::memcpy(g.data(), guids.data() + i, 16);
    m.guids_.push_back(g);
  }
  m.strings_ = get(kStringStreamId);
  std::string entries = get(kEntryStreamId);
  for (size_t i = 0; i + 8 <= entries.size() && m.entries_.size() < kMaxNamedProperties; i += 8) {
    uint32_t id = LoadLe<uint32_t>(entries, i);
    uint32_t info = LoadLe<uint32_t>(entries, i + 4);
    const uint16_t prop_index = static_cast<uint16_t>(info >> 16);
    Entry e{id, static_cast<uint16_t>((info & 0xFFFF) >> 1), (info & 1) != 0, prop_index};
    m.next_index_ = std::max<uint32_t>(m.next_index_, prop_index + 1u);
    NamedProperty n;
    if (e.guid_index == 1) {
      n.property_set = kPsMapi;
    } else if (e.guid_index == 2) {
      n.property_set = kPsPublicStrings;
    } else if (e.guid_index >= 3 && e.guid_index - 3u < m.guids_.size()) {
      n.property_set = m.guids_[e.guid_index - 3];
    }
    if (e.is_string) {
      if (id + 4ull > m.strings_.size()) return Status::Error(where + " is damaged: a named property's name lies outside the string stream");
      uint32_t len = LoadLe<uint32_t>(m.strings_, id);
      if (id + 4ull + len > m.strings_.size()) return Status::Error(where + " is damaged: a named property's name is truncated");
      n.name = Utf16LeToUtf8(std::string_view(m.strings_).substr(id + 4, len));
    } else {
      n.number = id;
    }
    m.ids_.emplace(KeyOf(n), static_cast<uint16_t>(0x8000 + prop_index));
    m.entries_.push_back(e);
  }
  return m;
}

std::optional<uint16_t> NameMap::Find(const NamedProperty& name) const {
  auto it = ids_.find(KeyOf(name));
  if (it == ids_.end()) return std::nullopt;
  return it->second;
}

uint16_t NameMap::GuidIndex(const Guid& g) {
  if (g == kPsMapi) return 1;
  if (g == kPsPublicStrings) return 2;
  for (size_t i = 0; i < guids_.size(); ++i) {
    if (guids_[i] == g) return static_cast<uint16_t>(i + 3);
  }
  guids_.push_back(g);
  return static_cast<uint16_t>(guids_.size() + 2);
}

Result<uint16_t> NameMap::Map(const NamedProperty& name) {
  if (auto id = Find(name)) return *id;
  if (next_index_ >= kMaxNamedProperties) return Status::Error("the store's named-property map is full");
  if (!name.number && name.name.empty()) return Status::Error("a named property needs a number or a name");
  Entry e{0, GuidIndex(name.property_set), !name.number, static_cast<uint16_t>(next_index_++)};
  if (name.number) {
    e.property_id = *name.number;
  } else {
    e.property_id = static_cast<uint32_t>(strings_.size());
    std::string u = Utf8ToUtf16Le(name.name);
    AppendLe<uint32_t>(strings_, static_cast<uint32_t>(u.size()));
    strings_ += u;
    while (strings_.size() % 4) strings_.push_back('\0');
  }
  uint16_t id = static_cast<uint16_t>(0x8000 + e.prop_index);
  entries_.push_back(e);
  ids_.emplace(KeyOf(name), id);
  dirty_ = true;
  return id;
}

ltp::PropertyMap NameMap::ToPc() const {
  ltp::PropertyMap pc = pc_;
  for (auto it = pc.begin(); it != pc.end();) {
    bool bucket = it->first >= kFirstBucketId && it->first < kFirstBucketId + bucket_count_;
    it = bucket ? pc.erase(it) : std::next(it);
  }
  std::string entries, guids;
  std::map<uint32_t, std::string> buckets;
  for (const Entry& e : entries_) {
    uint32_t info = (static_cast<uint32_t>(e.prop_index) << 16) | (static_cast<uint32_t>(e.guid_index) << 1) | (e.is_string ? 1 : 0);
    AppendLe<uint32_t>(entries, e.property_id);
    AppendLe<uint32_t>(entries, info);
    // Buckets hash string names by the CRC of their UTF-16LE bytes (§2.4.7.5).
    uint32_t hash_id = e.property_id;
    if (e.is_string) {
      uint32_t len = LoadLe<uint32_t>(strings_, e.property_id);
      hash_id = disk::Crc(strings_.data() + e.property_id + 4, len);
    }
    uint32_t b = (hash_id ^ ((static_cast<uint32_t>(e.guid_index) << 1) | (e.is_string ? 1 : 0))) % bucket_count_;
    AppendLe<uint32_t>(buckets[b], hash_id);
    AppendLe<uint32_t>(buckets[b], info);
  }
  for (const Guid& g : guids_) guids.append(reinterpret_cast<const char*>(g.data()), 16);
  pc[kGuidStreamId] = ltp::PropertyValue{0x0102, guids, 0};
  pc[kEntryStreamId] = ltp::PropertyValue{0x0102, entries, 0};
  pc[kStringStreamId] = ltp::PropertyValue{0x0102, strings_, 0};
  for (auto& [b, data] : buckets) pc[static_cast<uint16_t>(kFirstBucketId + b)] = ltp::PropertyValue{0x0102, data, 0};
  return pc;
}

}  // namespace baleport::pst
