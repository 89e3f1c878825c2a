// The messages a run's log names as failed: its "BAD : <path>" lines, without the prefix.
#pragma once

#include <set>
#include <sstream>
#include <string>

#include "support/testing/read_all.h"

namespace baleport::testing {

inline std::set<std::string> FailedInLog(const std::string& logPath) {
  std::set<std::string> failed;
  std::istringstream lines(ReadAll(logPath));
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with("BAD : ")) failed.insert(line.substr(6));
  }
  return failed;
}

}  // namespace baleport::testing
