// The time stamp of a conversion call, part of the proposed store name and of the
// store's display name.
#pragma once

#include <ctime>
#include <string>

namespace baleport {

// "d.m.YY H.m.ss": day, month, hour and minutes without leading zero, two-digit year
// and seconds. 6 December 2026 09:05:03 gives "6.12.26 9.5.03".
std::string FormatRunStamp(const std::tm& time);

// The current local time.
std::tm LocalTimeNow();

}  // namespace baleport
