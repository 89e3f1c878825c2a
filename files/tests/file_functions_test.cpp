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
