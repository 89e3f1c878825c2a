// Every input the store fuzz target once failed on is opened for extension again: it may be
// refused, but the process must come back.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

#include "files/tests/test_tree.h"
#include "pst/check/checker.h"
#include "pst/disk/layout.h"
#include "pst/store.h"
#include "proof/fuzz/open_store.h"
#include "support/testing/read_all.h"

namespace baleport::proof {
namespace {

TEST(StoreRegressions, EveryKeptInputOpensOrIsRefused) {
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(BALEPORT_STORE_REGRESSIONS_DIR)) {
    if (entry.path().filename() == "README") continue;
    const std::string bytes = testing::ReadAll(entry.path().string());
    testing::MemoryEnv env;
    (void)OpenAndExtend(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), env);
    ++inputs;
  }
  EXPECT_GT(inputs, 0) << "no kept inputs in " BALEPORT_STORE_REGRESSIONS_DIR;
  std::cout << "proof: store fuzz regressions: " << inputs << " inputs\n";
}

// The fuzz target's seed, a store the engine made, goes all the way (opened, walked, added
// to, closed) and passes the checker. Seeds are kept without the zeros a store ends with: the
// target puts them back, or every seed would be refused as cut short and the fuzzer would
// never get past the header.
TEST(StoreRegressions, TheSeedIsExtendedWholeOrCutBeforeItsTrailingZeros) {
  testing::TestTree tree;
  ASSERT_TRUE((*pst::Store::Create(tree.Path("seed.pst"), "Seed"))->Close().ok());
  const std::string whole = testing::ReadAll(tree.Path("seed.pst"));
  const std::string cut = whole.substr(0, whole.find_last_not_of('\0') + 1);
  ASSERT_LT(cut.size(), whole.size() - pst::disk::kPageSize) << "the new store ends in no run of zeros";
  uint64_t nodes = 0;
  for (const std::string* bytes : {&whole, &cut}) {
    testing::MemoryEnv env;
    const Status status = OpenAndExtend(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size(), env);
    EXPECT_TRUE(status.ok()) << status.message();
    const pst::CheckReport report = pst::CheckStore(&env, kInputPath);
    EXPECT_TRUE(report.ok()) << report.Summary();
    EXPECT_EQ(report.messages, 1u);
    EXPECT_EQ(report.nodes, nodes != 0 ? nodes : report.nodes);
    nodes = report.nodes;
  }
}

}  // namespace
}  // namespace baleport::proof
