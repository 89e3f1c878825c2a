#include "cli/find_command.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "files/tests/test_tree.h"

namespace baleport {
namespace {

// The search's folders and files with their keys; a missing folder is an error naming it.
TEST(FindCommandTest, PrintsFoldersAndFilesWithTheirKeysOrWhyNot) {
  testing::TestTree tree;
  tree.Files({"A/one.msg", "A/skip.txt", "two.MSG"});
  std::ostringstream out, errors;
  EXPECT_EQ(RunFind(tree.root(), "*.msg", out, errors), 0);
  EXPECT_EQ(out.str(), "Folders:\n  Z1  " + tree.Path("A") + "\nFiles:\n  K1  " + tree.Path("two.MSG") + "\n  K2  " +
                           tree.Path("A/one.msg") + "\n2 files matching *.msg in 1 folders below " + tree.root() +
                           "/\n");
  EXPECT_EQ(RunFind(tree.Path("missing"), "*.msg", out, errors), 1);
  EXPECT_THAT(errors.str(), ::testing::HasSubstr("no folder at " + tree.Path("missing")));
}

}  // namespace
}  // namespace baleport
