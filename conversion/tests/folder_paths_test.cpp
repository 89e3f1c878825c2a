#include "conversion/folder_paths.h"

#include <gtest/gtest.h>

#include "conversion/folder_mirror.h"
#include "support/path_separator.h"

namespace baleport {
namespace {

using Pieces = FolderPieces;

TEST(FolderPathsTest, RelativePiecesDependOnTheRootsTrailingSeparator) {
  EXPECT_EQ(RelativePieces("/Mail/Box/Projects/2019", "/Mail/Box"), (Pieces{"", "Projects", "2019"}));
  EXPECT_EQ(RelativePieces("/Mail/Box/Projects/2019", "/Mail/Box/"), (Pieces{"Projects", "2019"}));
  EXPECT_EQ(RelativePieces("/Mail/Box/Projects/", "/Mail/Box"), (Pieces{"", "Projects", ""}));
  EXPECT_EQ(RelativePieces("/Mail/Box", "/Mail/Box"), (Pieces{""}));
  // Under the file-system root only the leading separator belongs to the root.
  EXPECT_EQ(RelativePieces("/Projects/2019", "/"), (Pieces{"Projects", "2019"}));
  // The root's text further in is part of the folder's name.
  EXPECT_EQ(RelativePieces("/a/b/a/c", "/a"), (Pieces{"", "b", "a", "c"}));
  EXPECT_EQ(JoinPieces({"", "Projects", "2019"}), "\\Projects\\2019");
  EXPECT_EQ(JoinPieces({"Projects", ""}), "Projects\\");
}

// A name holding "\" stays one name: joined, it reads as it did before (the form shown).
TEST(FolderPathsTest, ABackslashInANameIsNoSeparator) {
  if (kPathSeparator == '\\') GTEST_SKIP() << "names cannot hold \\ on this system";
  EXPECT_EQ(RelativePieces("/Mail/Box/a\\b/c", "/Mail/Box"), (Pieces{"", "a\\b", "c"}));
  EXPECT_EQ(JoinPieces(RelativePieces("/Mail/Box/a\\b/c", "/Mail/Box")), "\\a\\b\\c");
  EXPECT_FALSE(IsReservedFolder({"", "x\\Calendar"}));
  EXPECT_EQ(MapDefaultFolders({"", "Inbox\\x"}, "Posteingang", "Gesendet"), (Pieces{"", "Inbox\\x"}));
}

TEST(FolderPathsTest, OnlyTheFirstFolderMapsOntoTheDefaultFolders) {
  EXPECT_EQ(MapDefaultFolders({"", "Inbox", "Projects"}, "Posteingang", "Gesendet"),
            (Pieces{"", "Posteingang", "Projects"}));
  EXPECT_EQ(MapDefaultFolders({"Sent", "Old", ""}, "Posteingang", "Gesendet"), (Pieces{"Gesendet", "Old", ""}));
  EXPECT_EQ(MapDefaultFolders({"", "Sent"}, "Posteingang", "Gesendet"), (Pieces{"", "Gesendet"}));
  EXPECT_EQ(MapDefaultFolders({"Inbox"}, "Posteingang", "Gesendet"), (Pieces{"Posteingang"}));
  EXPECT_EQ(MapDefaultFolders({"", "Work", "Inbox", ""}, "Posteingang", "Gesendet"), (Pieces{"", "Work", "Inbox", ""}));
  EXPECT_EQ(MapDefaultFolders({"", "Inboxes", ""}, "Posteingang", "Gesendet"), (Pieces{"", "Inboxes", ""}));
  EXPECT_EQ(MapDefaultFolders({""}, "Posteingang", "Gesendet"), (Pieces{""}));
}

TEST(FolderPathsTest, ReservedNames) {
  EXPECT_TRUE(IsReservedFolder({"", "Inbox"}));
  EXPECT_FALSE(IsReservedFolder({"Inbox"}));  // a top folder under "/": mapped, not reserved
  EXPECT_FALSE(IsReservedFolder({"", "Work", "Inbox"}));
  EXPECT_TRUE(IsReservedFolder({"", "Work", "Calendar"}));
  EXPECT_TRUE(IsReservedFolder({"", "Sent"}));
  EXPECT_TRUE(IsReservedFolder({"", "A", "Emailed Contacts"}));
  EXPECT_FALSE(IsReservedFolder({"", "Calendars"}));
}

}  // namespace
}  // namespace baleport
