#include "conversion/folder_paths.h"

#include <gtest/gtest.h>

#include "conversion/folder_mirror.h"
#include "conversion/run_stamp.h"

namespace baleport {
namespace {

TEST(FolderPathsTest, RelativeFormDependsOnTheRootsTrailingSeparator) {
  EXPECT_EQ(RelativeStoreForm("/Mail/Box/Projects/2019", "/Mail/Box"), "\\Projects\\2019");
  EXPECT_EQ(RelativeStoreForm("/Mail/Box/Projects/2019", "/Mail/Box/"), "Projects\\2019");
  // Under the file-system root only the leading separator belongs to the root.
  EXPECT_EQ(RelativeStoreForm("/Projects/2019", "/"), "Projects\\2019");
  // The root's text further in is part of the folder's name.
  EXPECT_EQ(RelativeStoreForm("/a/b/a/c", "/a"), "\\b\\a\\c");
}

TEST(FolderPathsTest, OnlyTheFirstFolderMapsOntoTheDefaultFolders) {
  EXPECT_EQ(MapDefaultFolders("\\Inbox\\Projects", "Posteingang", "Gesendet"), "\\Posteingang\\Projects");
  EXPECT_EQ(MapDefaultFolders("Sent\\Old\\", "Posteingang", "Gesendet"), "Gesendet\\Old\\");
  EXPECT_EQ(MapDefaultFolders("\\Sent", "Posteingang", "Gesendet"), "\\Gesendet");
  EXPECT_EQ(MapDefaultFolders("\\Work\\Inbox\\", "Posteingang", "Gesendet"), "\\Work\\Inbox\\");
  EXPECT_EQ(MapDefaultFolders("\\Inboxes\\", "Posteingang", "Gesendet"), "\\Inboxes\\");
}

TEST(FolderPathsTest, ReservedNames) {
  EXPECT_TRUE(IsReservedFolder("\\Inbox"));
  EXPECT_FALSE(IsReservedFolder("\\Work\\Inbox"));
  EXPECT_TRUE(IsReservedFolder("\\Work\\Calendar"));
  EXPECT_TRUE(IsReservedFolder("\\Sent"));
  EXPECT_TRUE(IsReservedFolder("\\A\\Emailed Contacts"));
  EXPECT_FALSE(IsReservedFolder("\\Calendars"));
}

TEST(RunStampTest, HasNoLeadingZerosExceptInYearAndSeconds) {
  std::tm time{};
  time.tm_mday = 6;
  time.tm_mon = 11;
  time.tm_year = 126;
  time.tm_hour = 9;
  time.tm_min = 5;
  time.tm_sec = 3;
  EXPECT_EQ(FormatRunStamp(time), "6.12.26 9.5.03");
}

}  // namespace
}  // namespace baleport
