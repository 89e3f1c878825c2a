// Well-known property tags. Add the ones a module needs; keep them sorted by id.
#pragma once

#include "mapi/property_tag.h"

namespace baleport::mapi::tags {

inline constexpr PropTag kMessageClass = MakeTag(0x001A, PropType::kUnicode);
inline constexpr PropTag kSubject = MakeTag(0x0037, PropType::kUnicode);
inline constexpr PropTag kMessageFlags = MakeTag(0x0E07, PropType::kInt32);
inline constexpr PropTag kMessageSize = MakeTag(0x0E08, PropType::kInt32);
inline constexpr PropTag kDisplayName = MakeTag(0x3001, PropType::kUnicode);
inline constexpr PropTag kContentCount = MakeTag(0x3602, PropType::kInt32);
inline constexpr PropTag kContentUnread = MakeTag(0x3603, PropType::kInt32);
inline constexpr PropTag kSubfolders = MakeTag(0x360A, PropType::kBoolean);
inline constexpr PropTag kContainerClass = MakeTag(0x3613, PropType::kUnicode);

}  // namespace baleport::mapi::tags
