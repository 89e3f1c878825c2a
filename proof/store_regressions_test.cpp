// Every input the store fuzz target once failed on is opened for extension again: it may be
// refused, but the process must come back.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "files/tests/test_tree.h"
#include "pst/check/checker.h"
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
    MemoryEnv env;
    (void)OpenAndExtend(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), env);
    ++inputs;
  }
  std::cout << "proof: store fuzz regressions: " << inputs << " inputs\n";
}

// The fuzz target's seed, a store the engine made, goes all the way: opened, walked, added
// to and closed, and the result passes the checker.
TEST(StoreRegressions, TheSeedIsExtended) {
  testing::TestTree tree;
  const std::string seed = tree.Path("seed.pst");
  ASSERT_TRUE((*pst::Store::Create(seed, "Seed"))->Close().ok());
  std::ifstream in(seed, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  MemoryEnv env;
  const Status status = OpenAndExtend(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), env);
  ASSERT_TRUE(status.ok()) << status.message();
  const pst::CheckReport report = pst::CheckStore(&env, kInputPath);
  EXPECT_TRUE(report.ok()) << report.Summary();
  EXPECT_EQ(report.messages, 1u);
}

}  // namespace
}  // namespace baleport::proof
