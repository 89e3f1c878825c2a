// Property types and tags shared by the message reader and the store engine.
#pragma once

#include <cstdint>

namespace baleport::mapi {

enum class PropType : uint16_t {
  kUnspecified = 0x0000,
  kNull = 0x0001,
  kInt16 = 0x0002,
  kInt32 = 0x0003,
  kFloat32 = 0x0004,
  kFloat64 = 0x0005,
  kCurrency = 0x0006,
  kAppTime = 0x0007,
  kError = 0x000A,
  kBoolean = 0x000B,
  kObject = 0x000D,
  kInt64 = 0x0014,
  kString8 = 0x001E,
  kUnicode = 0x001F,
  kSysTime = 0x0040,
  kGuid = 0x0048,
  kServerId = 0x00FB,
  kRestriction = 0x00FD,
  kRuleAction = 0x00FE,
  kBinary = 0x0102,
};

// Bit that turns any fixed or variable type into its multi-valued form.
inline constexpr uint16_t kMultiValued = 0x1000;

using PropTag = uint32_t;

constexpr PropTag MakeTag(uint16_t id, uint16_t type) { return (PropTag{id} << 16) | type; }
constexpr PropTag MakeTag(uint16_t id, PropType type) { return MakeTag(id, static_cast<uint16_t>(type)); }
constexpr uint16_t TagId(PropTag tag) { return static_cast<uint16_t>(tag >> 16); }
constexpr uint16_t TagType(PropTag tag) { return static_cast<uint16_t>(tag & 0xFFFF); }
constexpr bool IsMultiValued(PropTag tag) { return (TagType(tag) & kMultiValued) != 0; }

// Ids from here up are named properties, mapped per store (or per file) to a name.
inline constexpr uint16_t kFirstNamedId = 0x8000;

}  // namespace baleport::mapi
