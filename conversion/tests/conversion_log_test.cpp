#include "conversion/conversion_log.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

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

// (Emptied at the start and appended to: the run's tests.) A name holding a line break stays
// on its line; a disk that fills up takes no part of a line, and the failure names the log (one
// that cannot be started, and one reserved and released again: conversion_run_test.cpp).
TEST(ConversionLogTest, ControlCharactersAreEscapedAndAFullDiskLeavesTheLogAsItWas) {
  testing::TestTree tree;
  const std::string path = tree.Path("x.log");
  testing::FaultyEnv env(Env::Default());
  ConversionLog log(path, env);
  ASSERT_TRUE(log.Start().ok());
  ASSERT_TRUE(log.RecordFailure("/mail/b\r\nc.msg").ok());
  const std::string written = "---- Log Starts -----\r\nBAD : /mail/b\\x0D\\x0Ac.msg\r\n";
  EXPECT_EQ(ReadAll(path), written);
  env.FailWriteAt(1, testing::FaultyEnv::Fault::kDiskFull);
  const Status failed = log.RecordFailure("/mail/a.msg");
  EXPECT_EQ(failed.code(), StatusCode::kNoSpace);
  EXPECT_THAT(failed.message(), ::testing::HasSubstr(path));
  EXPECT_EQ(ReadAll(path), written);
}

}  // namespace
}  // namespace baleport
