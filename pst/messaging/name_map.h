// The store's named-property map (§2.4.7): (property set, number or name) ↔ property id.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "pst/ltp/property_value.h"
#include "pst/store.h"
#include "support/status.h"

namespace baleport::pst {

inline constexpr Guid kPsMapi = {0x28, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr Guid kPsPublicStrings = {0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                          0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};

inline constexpr Guid kPsInternetHeaders = {0x86, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                            0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr Guid kPsetidCommon = {0x08, 0x20, 0x06, 0x00, 0x00, 0x00, 0x00, 0x00,
                                      0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
inline constexpr uint32_t kLidSideEffects = 0x8510;

class NameMap {
 public:
  // From the PC of NID_NAME_TO_ID_MAP; `where` names the file in errors.
  static Result<NameMap> Load(const ltp::PropertyMap& pc, const std::string& where);
  // A new store's map. Readers refuse a map without entries or without strings, so it starts
  // with PidLidSideEffects, which Outlook sets on nearly every item, and "content-class", the
  // first string name of every Outlook store.
  static NameMap Initial();

  // The id of a named property, assigning the next free one when it is new.
  Result<uint16_t> Map(const NamedProperty& name);
  std::optional<uint16_t> Find(const NamedProperty& name) const;
  size_t size() const { return entries_.size(); }
  bool dirty() const { return dirty_; }
  // The PC with streams and hash buckets rebuilt; properties it does not own are kept.
  ltp::PropertyMap ToPc() const;
  void MarkClean() { dirty_ = false; }

 private:
  struct Entry {
    uint32_t property_id;  // LID, or offset into the string stream
    uint16_t guid_index;   // wGuid
    bool is_string;
    uint16_t prop_index;   // the id is 0x8000 + prop_index
  };
  using Key = std::tuple<Guid, bool, uint32_t, std::string>;
  static Key KeyOf(const NamedProperty& n);
  uint16_t GuidIndex(const Guid& g);

  ltp::PropertyMap pc_;
  std::vector<Entry> entries_;
  std::vector<Guid> guids_;
  std::string strings_;  // the string stream, UTF-16LE names with length prefixes
  std::map<Key, uint16_t> ids_;
  uint32_t bucket_count_ = 251;
  uint32_t next_index_ = 0;
  bool dirty_ = false;
};

}  // namespace baleport::pst
