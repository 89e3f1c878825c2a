#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

#include "support/path_parts.h"
#include "support/path_separator.h"

namespace baleport {
namespace {

std::string P(std::string s) { return WithSystemSeparators(std::move(s)); }  // paths written with '/'

TEST(PathHelpers, SplitsAtTheLastSeparator) {
  EXPECT_EQ(FileNameOfPath(P("/mail/in/a.msg")), "a.msg");
  EXPECT_EQ(FolderOfPath(P("/mail/in/a.msg")), P("/mail/in/"));
  EXPECT_EQ(FileNameOfPath("a.msg"), "a.msg");
  EXPECT_EQ(FolderOfPath("a.msg"), "");
  EXPECT_EQ(FileNameOfPath(P("/mail/in/")), "");
  EXPECT_EQ(FolderOfPath(P("/mail/in/")), P("/mail/in/"));
  EXPECT_EQ(FolderOfPath(P("/mail//a.msg")), P("/mail//"));
}

TEST(PathHelpers, TheOtherSlashIsAnOrdinaryCharacter) {
  const std::string other = kPathSeparator == '/' ? "a\\b\\c.msg" : "a/b/c.msg";
  EXPECT_EQ(FileNameOfPath(other), other);
  EXPECT_EQ(FolderOfPath(other), "");
}

TEST(PathHelpers, FolderAndNameGiveThePathBack) {
  for (std::string p : {"x", "/", "//", "/a", "a/", "/a/b/c.msg", "\xE6\x97\xA5/\xD0\xB6.msg"}) {
    p = P(p);
    EXPECT_EQ(FolderOfPath(p) + FileNameOfPath(p), p) << p;
  }
  EXPECT_THROW(FileNameOfPath(""), std::out_of_range);
  EXPECT_THROW(FolderOfPath(""), std::out_of_range);
}

}  // namespace
}  // namespace baleport
