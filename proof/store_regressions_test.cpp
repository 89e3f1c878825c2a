// Every input the store fuzz target once failed on is opened for extension again: it may be
// refused, but the process must come back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "files/tests/test_tree.h"
#include "pst/check/checker.h"
#include "pst/disk/layout.h"
#include "pst/store.h"
#include "proof/fuzz/open_store.h"

namespace baleport::proof {
namespace {

TEST(StoreRegressions, EveryKeptInputOpensOrIsRefused) {
  int inputs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(BALEPORT_STORE_REGRESSIONS_DIR)) {
    if (entry.path().filename() == "README") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    testing::MemoryEnv env;
    (void)OpenAndExtend(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), env);
    ++inputs;
  }
  EXPECT_GT(inputs, 0) << "no kept inputs in " BALEPORT_STORE_REGRESSIONS_DIR;
  std::cout << "proof: store fuzz regressions: " << inputs << " inputs\n";
}

// The fuzz target's seed, a store the engine made, goes all the way: opened, walked, added
// to and closed, and the result passes the checker.
std::string NewStoreBytes() {
  testing::TestTree tree;
  const std::string seed = tree.Path("seed.pst");
  EXPECT_TRUE((*pst::Store::Create(seed, "Seed"))->Close().ok());
  std::ifstream in(seed, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Extends `bytes` as the target does; returns the checker's report on the result.
pst::CheckReport Extended(const std::string& bytes) {
  testing::MemoryEnv env;
  const Status status = OpenAndExtend(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), env);
  EXPECT_TRUE(status.ok()) << status.message();
  return pst::CheckStore(&env, kInputPath);
}

TEST(StoreRegressions, TheSeedIsExtended) {
  const pst::CheckReport report = Extended(NewStoreBytes());
  EXPECT_TRUE(report.ok()) << report.Summary();
  EXPECT_EQ(report.messages, 1u);
}

// Seeds are kept without the zeros a store ends with: the target must put them back, or
// every seed would be refused as cut short and the fuzzer would never get past the header.
TEST(StoreRegressions, AStoreCutBeforeItsTrailingZerosOpensAsTheWhole) {
  const std::string whole = NewStoreBytes();
  const std::string cut = whole.substr(0, whole.find_last_not_of('\0') + 1);
  ASSERT_LT(cut.size(), whole.size() - pst::disk::kPageSize) << "the new store ends in no run of zeros";
  const pst::CheckReport fromWhole = Extended(whole), fromCut = Extended(cut);
  EXPECT_TRUE(fromCut.ok()) << fromCut.Summary();
  EXPECT_EQ(fromCut.messages, fromWhole.messages);
  EXPECT_EQ(fromCut.folders, fromWhole.folders);
  EXPECT_EQ(fromCut.nodes, fromWhole.nodes);
  EXPECT_EQ(fromCut.blocks, fromWhole.blocks);
}

}  // namespace
}  // namespace baleport::proof
