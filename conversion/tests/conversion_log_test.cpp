#include "conversion/conversion_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "files/tests/test_tree.h"
#include "support/testing/read_all.h"
#include "support/testing/faulty_env.h"

namespace baleport {
namespace {

using testing::ReadAll;

TEST(LogPathTest, ReplacesOnlyTheStoreExtensionInAnyCaseOrAppends) {
  EXPECT_EQ(LogPathFor("/mail/old.pst.files/Inbox.pst"), "/mail/old.pst.files/Inbox.log");
  EXPECT_EQ(LogPathFor("/OUT/INBOX.PST"), "/OUT/INBOX.log");
  EXPECT_EQ(LogPathFor("/out/Inbox"), "/out/Inbox.log");
  EXPECT_EQ(LogPathFor("/out/Inbox.pst.bak"), "/out/Inbox.pst.bak.log");
  // A store named like a log still gets a log of its own.
  EXPECT_EQ(LogPathFor("/out/Inbox.log"), "/out/Inbox.log.log");
}

// A name holding a line break stays on its line.
TEST(ConversionLogTest, StartEmptiesAnEarlierLogAndFailuresAppendLines) {
  testing::TestTree tree;
  const std::string path = tree.File("x.log");
  std::ofstream(path) << "old contents\r\n";
  ConversionLog log(path);
  ASSERT_TRUE(log.Start().ok());
  ASSERT_TRUE(log.RecordFailure("/mail/a.msg").ok());
  ASSERT_TRUE(log.RecordFailure("/mail/b\r\nc.msg").ok());
  EXPECT_EQ(ReadAll(path), "---- Log Starts -----\r\nBAD : /mail/a.msg\r\nBAD : /mail/b\\x0D\\x0Ac.msg\r\n");
}

// A run refused after reserving its log leaves an earlier one as it was and no new one behind.
TEST(ConversionLogTest, ReservedLogsAreLeftAsTheyWere) {
  testing::TestTree tree;
  const std::string earlier = tree.File("earlier.log");
  std::ofstream(earlier, std::ios::binary) << "BAD : /mail/a.msg\r\n";
  ConversionLog kept(earlier);
  ASSERT_TRUE(kept.Reserve().ok());
  kept.Release();
  EXPECT_EQ(ReadAll(earlier), "BAD : /mail/a.msg\r\n");

  const std::string fresh = tree.Path("fresh.log");
  ConversionLog released(fresh);
  ASSERT_TRUE(released.Reserve().ok());
  released.Release();
  EXPECT_FALSE(std::filesystem::exists(fresh));
}

// Failures say which log it was, by path and code; through the Env, a disk that fills up
// takes no part of a line.
TEST(ConversionLogTest, FailuresNameTheLogAndLeaveItAsItWas) {
  testing::TestTree tree;
  ConversionLog missing(tree.Path("missing/x.log"));
  const Status started = missing.Start();
  EXPECT_EQ(started.code(), StatusCode::kNotFound);
  EXPECT_THAT(started.message(), ::testing::StartsWith("cannot start the log: creating " + tree.Path("missing/x.log")));
  EXPECT_FALSE(missing.RecordFailure("/mail/a.msg").ok());

  const std::string path = tree.Path("x.log");
  testing::FaultyEnv env(Env::Default());
  ConversionLog log(path, env);
  ASSERT_TRUE(log.Start().ok());
  env.FailWriteAt(1, testing::FaultyEnv::Fault::kDiskFull);
  const Status failed = log.RecordFailure("/mail/a.msg");
  EXPECT_EQ(failed.code(), StatusCode::kNoSpace);
  EXPECT_THAT(failed.message(), ::testing::HasSubstr(path));
  EXPECT_EQ(ReadAll(path), "---- Log Starts -----\r\n");
}

}  // namespace
}  // namespace baleport
