#include "conversion/run_stamp.h"

#include <cstdio>

namespace baleport {

std::string FormatRunStamp(const std::tm& time) {
  char text[64];
  std::snprintf(text, sizeof text, "%d.%d.%02d %d.%d.%02d", time.tm_mday, time.tm_mon + 1, (time.tm_year + 1900) % 100,
                time.tm_hour, time.tm_min, time.tm_sec);
  return text;
}

std::tm LocalTimeNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  return local;
}

}  // namespace baleport
