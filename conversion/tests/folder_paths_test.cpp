#include "conversion/folder_paths.h"

#include <gtest/gtest.h>

#include "conversion/folder_mirror.h"
#include "support/path_separator.h"

namespace baleport {
namespace {

using Pieces = FolderPieces;

// Paths written with "/" and split at the system's separator.
Pieces Relative(const std::string& path, const std::string& root) {
  return RelativePieces(WithSystemSeparators(path), WithSystemSeparators(root));
}

TEST(FolderPathsTest, RelativePiecesDependOnTheRootsTrailingSeparator) {
  EXPECT_EQ(Relative("/Mail/Box/Projects/2019", "/Mail/Box"), (Pieces{"", "Projects", "2019"}));
  EXPECT_EQ(Relative("/Mail/Box/Projects/2019", "/Mail/Box/"), (Pieces{"Projects", "2019"}));
  EXPECT_EQ(Relative("/Mail/Box/Projects/", "/Mail/Box"), (Pieces{"", "Projects", ""}));
  EXPECT_EQ(Relative("/Mail/Box", "/Mail/Box"), (Pieces{""}));
  // Under the file-system root only the leading separator belongs to the root, and the
  // root's text further in is part of the folder's name.
  EXPECT_EQ(Relative("/Projects/2019", "/"), (Pieces{"Projects", "2019"}));
  EXPECT_EQ(Relative("/a/b/a/c", "/a"), (Pieces{"", "b", "a", "c"}));
  EXPECT_EQ(JoinPieces({"", "Projects", "2019"}), "\\Projects\\2019");
}

TEST(FolderPathsTest, OnlyTheFirstFolderMapsOntoTheDefaultFolders) {
  const auto map = [](const Pieces& pieces) { return MapDefaultFolders(pieces, "Posteingang", "Gesendet"); };
  EXPECT_EQ(map({"", "Inbox", "Projects"}), (Pieces{"", "Posteingang", "Projects"}));
  EXPECT_EQ(map({"Sent", "Old", ""}), (Pieces{"Gesendet", "Old", ""}));
  EXPECT_EQ(map({"", "Work", "Inbox", ""}), (Pieces{"", "Work", "Inbox", ""}));
  EXPECT_EQ(map({"", "Inboxes", ""}), (Pieces{"", "Inboxes", ""}));
  EXPECT_EQ(map({""}), (Pieces{""}));
}

TEST(FolderPathsTest, ReservedNames) {
  EXPECT_TRUE(IsReservedFolder({"", "Inbox"}));
  EXPECT_FALSE(IsReservedFolder({"Inbox"}));  // a top folder under a root: mapped, not reserved
  EXPECT_FALSE(IsReservedFolder({"", "Work", "Inbox"}));
  EXPECT_TRUE(IsReservedFolder({"", "Work", "Calendar"}));
  EXPECT_TRUE(IsReservedFolder({"", "A", "Emailed Contacts"}));
  EXPECT_FALSE(IsReservedFolder({"", "Calendars"}));
}

}  // namespace
}  // namespace baleport
