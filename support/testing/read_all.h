// The whole of a file as bytes, for tests that compare what was written ("" when it cannot
// be read).
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace baleport::testing {

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace baleport::testing
