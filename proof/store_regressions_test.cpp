// Every input the store fuzz target once failed on is opened for extension again: it may be
// refused, but the process must come back.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>

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

}  // namespace
}  // namespace baleport::proof
