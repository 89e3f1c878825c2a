#include "files/file_functions.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "files/file_attributes.h"
#include "files/find.h"
#include "files/tests/failing_api.h"
#include "files/tests/test_tree.h"

namespace baleport {
namespace {

using baleport::testing::FailingApiInPlace;
using baleport::testing::TestTree;

// The UTF-16LE bytes of a text, as LongPathBuffer should give them.
WideBuffer Bytes(std::u16string_view units) {
  WideBuffer bytes;
  for (char16_t unit : units) {
    bytes.push_back(static_cast<std::byte>(unit & 0xFF));
    bytes.push_back(static_cast<std::byte>(unit >> 8));
  }
  return bytes;
}

TEST(LongPathBufferTest, PrefixesDrivePathsRewritesNetworkPathsAndEncodesUtf16) {
  EXPECT_EQ(LongPathBuffer("C:\\dir"), Bytes(std::u16string(u"\\\\?\\C:\\dir") + u'\0'));
  EXPECT_EQ(LongPathBuffer("\\\\server\\share\\dir"), Bytes(std::u16string(u"\\\\?\\UNC\\server\\share\\dir") + u'\0'));
  EXPECT_EQ(LongPathBuffer(""), Bytes(std::u16string(u"\\\\?\\") + u'\0'));
  // Already in the long form: starts with two backslashes, so it is taken for a network path.
  EXPECT_EQ(LongPathBuffer("\\\\?\\C:\\x"), Bytes(std::u16string(u"\\\\?\\UNC\\?\\C:\\x") + u'\0'));
  // U+30E1 (two bytes in UTF-16) and U+1F4E7 (a surrogate pair).
  EXPECT_EQ(LongPathBuffer("C:\\\u30e1\U0001F4E7"), Bytes(std::u16string(u"\\\\?\\C:\\\u30e1\U0001F4E7") + u'\0'));
  EXPECT_EQ(CutAtNul(std::string_view("name\0rest\0", 10)), "name");
  EXPECT_EQ(CutAtNul(std::u16string_view(u"\0x", 2)), u"");
}

TEST(InitFileFunctionsTest, WithoutKernel32EveryOperationUsesItsNarrowForm) {
  FailingApiInPlace failing;
  failing.api.kernel32Missing = true;
  TestTree tree;
  const std::string file = tree.File("plain.msg");
  EXPECT_EQ(GetAttributes(file) & kAttributeDirectory, 0u);
  FindEntry entry;
  ASSERT_NE(FindFirst(file, entry), kInvalidFindHandle);
  EXPECT_EQ(entry.name, "plain.msg");
  EXPECT_FALSE(FindNext(entry));
  EXPECT_EQ(RemoveFile(file), 0);
  EXPECT_FALSE(FileExists(file));
  EXPECT_FALSE(OsVersion.ntFamily);
  EXPECT_FALSE(FileFunctions.wideGetAttributes || FileFunctions.wideSetAttributes || FileFunctions.wideFindFirst ||
               FileFunctions.wideFindNext || FileFunctions.wideDelete);
}

TEST(InitFileFunctionsTest, FailingVersionQueriesFallBackInTurn) {
  FailingApiInPlace failing;
  failing.api.versionExWFails = true;
  InitFileFunctions();
  EXPECT_FALSE(FileFunctions.versionQueryW);
  EXPECT_TRUE(FileFunctions.versionQueryA);
  EXPECT_TRUE(OsVersion.ntFamily);

  UseFileSystemApi(&failing.api);
  failing.api.versionExAFails = true;
  InitFileFunctions();
  EXPECT_FALSE(FileFunctions.versionQueryW || FileFunctions.versionQueryA);
  // GetVersion still tells the NT family (bit 31 clear).
  EXPECT_TRUE(OsVersion.ntFamily);
  EXPECT_TRUE(FileFunctions.wideFindFirst);
}

// A failed step of an enumeration also closes its record.
TEST(CaptureLastErrorTest, AFailureWithoutAnyCodeRecordsMinusOne) {
  TestTree tree;
  tree.Files({"a.msg", "b.msg"});
  FailingApiInPlace failing;
  FindEntry entry;
  ASSERT_NE(FindFirst(tree.Path("*.msg"), entry), kInvalidFindHandle);
  failing.api.failWithoutCode = true;
  EXPECT_FALSE(FindNext(entry));
  EXPECT_EQ(entry.errorCode, -1);
  EXPECT_EQ(entry.handle, 0);

  EXPECT_EQ(GetAttributes("anything"), kInvalidFileAttributes);
  EXPECT_EQ(LastFileError, -1);
  EXPECT_EQ(SetAttributes("anything", kAttributeNormal), -1);
  EXPECT_EQ(RemoveFile("anything"), -1);
  EXPECT_EQ(FindFirst("anything*", entry), kInvalidFindHandle);
  EXPECT_TRUE(entry.errorFlag);
  EXPECT_EQ(entry.errorCode, -1);
}

}  // namespace
}  // namespace baleport
