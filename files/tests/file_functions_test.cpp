#include "files/file_functions.h"

#include <gtest/gtest.h>

#include "files/file_attributes.h"
#include "files/find.h"
#include "files/tests/failing_api.h"
#include "files/tests/test_tree.h"

namespace baleport {
namespace {

using baleport::testing::FailingApiInPlace;
using baleport::testing::TestTree;

// Network paths take another prefix; U+1F4E7 is a surrogate pair.
TEST(LongPathBufferTest, DriveAndNetworkPathsInUtf16) {
  for (const auto& [path, expected] : {std::pair<const char*, std::u16string_view>{"C:\\dir", u"\\\\?\\C:\\dir"},
                                       {"\\\\server\\share\\d", u"\\\\?\\UNC\\server\\share\\d"},
                                       {"C:\\\u30e1\U0001F4E7", u"\\\\?\\C:\\\u30e1\U0001F4E7"}}) {
    WideBuffer bytes;
    for (const char16_t unit : std::u16string(expected) + u'\0') {
      bytes.insert(bytes.end(), {static_cast<std::byte>(unit & 0xFF), static_cast<std::byte>(unit >> 8)});
    }
    EXPECT_EQ(LongPathBuffer(path), bytes) << path;
  }
}

// The narrow functions are the only way when kernel32 is missing: each must work alone.
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
  EXPECT_FALSE(FileFunctions.wideGetAttributes || FileFunctions.wideSetAttributes || FileFunctions.wideFindFirst ||
               FileFunctions.wideFindNext || FileFunctions.wideDelete);
}

// GetVersion still tells the NT family (bit 31 clear), so the wide functions stay chosen.
TEST(InitFileFunctionsTest, FailingVersionQueriesStillFindTheNtFamily) {
  FailingApiInPlace failing;
  for (bool bothFail : {false, true}) {
    failing.api.versionExWFails = true;
    failing.api.versionExAFails = bothFail;
    InitFileFunctions();
    EXPECT_TRUE(OsVersion.ntFamily && FileFunctions.wideFindFirst) << bothFail;
  }
}

// -1, not 0 (success), when the system gives no code; a failed step also closes its enumeration.
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
  EXPECT_EQ(entry.errorCode, -1);
}

}  // namespace
}  // namespace baleport
