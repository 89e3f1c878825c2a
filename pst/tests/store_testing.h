// Shared by the store tests: every store a test writes goes through the checker and the
// independent readers.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "pst/check/checker.h"
#include "pst/store.h"
#include "pst/tests/readers.h"
#include "support/testing/read_all.h"

namespace baleport::pst::testing {

// The pypff dump of a store that the checker and every independent reader also accept.
inline std::string VerifiedDump(const std::string& path) {
  CheckReport report = CheckStore(Env::Default(), path);
  EXPECT_TRUE(report.ok()) << path << "\n" << report.Summary();
  EXPECT_EQ(ReaderFailures(path), "");
  CommandResult exported = PffExport(path);
  EXPECT_EQ(exported.exit_code, 0) << exported.output;
  CommandResult dump = PypffDump(path);
  EXPECT_EQ(dump.exit_code, 0) << dump.output;
  return dump.output;
}

// The messages of a store that the checker and every independent reader accept, as the
// checker counts them.
inline uint64_t VerifiedMessageCount(const std::string& path) {
  VerifiedDump(path);
  return CheckStore(Env::Default(), path).messages;
}

using baleport::testing::ReadAll;

template <typename T>
T Must(Result<T> r) {
  EXPECT_TRUE(r.ok()) << r.status().message();
  if (!r.ok()) throw std::runtime_error(r.status().message());
  return std::move(r).value();
}

inline void MustOk(const Status& s) {
  EXPECT_TRUE(s.ok()) << s.message();
  if (!s.ok()) throw std::runtime_error(s.message());
}

}  // namespace baleport::pst::testing
