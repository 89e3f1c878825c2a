#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

#include "support/path_parts.h"
#include "support/path_separator.h"

namespace baleport {
namespace {

std::string P(std::string s) { return WithSystemSeparators(std::move(s)); }  // paths written with '/'

// Split at the last separator; the other platform's slash is an ordinary character.
TEST(PathHelpers, FolderAndNameSplitAtTheLastSeparator) {
  const std::string other = kPathSeparator == '/' ? "a\\b\\c.msg" : "a/b/c.msg";
  const std::pair<std::string, std::string> cases[] = {
      {P("/mail/in/"), "a.msg"}, {"", "a.msg"}, {P("/mail/in/"), ""}, {P("/mail//"), "a.msg"}, {"", other},
      {"", "x"}, {P("/"), ""}, {P("//"), ""}, {P("a/"), ""}, {P("\xE6\x97\xA5/"), "\xD0\xB6.msg"}};
  for (const auto& [folder, name] : cases) {
    EXPECT_EQ(FolderOfPath(folder + name), folder) << folder + name;
    EXPECT_EQ(FileNameOfPath(folder + name), name) << folder + name;
  }
  EXPECT_THROW(FileNameOfPath(""), std::out_of_range);
  EXPECT_THROW(FolderOfPath(""), std::out_of_range);
}

}  // namespace
}  // namespace baleport
