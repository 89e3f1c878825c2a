#include "support/child_process.h"

#include <gtest/gtest.h>

#include <map>

namespace baleport {
namespace {

using Kind = ChildEvent::Kind;

// Two children: each one's lines of both pipes come back whole and apart from the other's, and
// once asked to stop it ends after its current work, its last (unended) line and then its exit
// status coming back.
TEST(ChildProcesses, LinesOfBothPipesComeBackPerChildAndAStoppedChildEndsAfterItsWork) {
  ChildProcesses children;
  for (int i = 0; i < 2; ++i) {
    const Result<int> started = children.Start(CHILD_HELPER, {});
    ASSERT_TRUE(started.ok()) << started.status().message();
    EXPECT_EQ(*started, i);
  }
  std::map<int, std::vector<std::string>> said;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (children.running() > 0 && std::chrono::steady_clock::now() < deadline) {
    for (const ChildEvent& event : children.Wait(std::chrono::milliseconds(100))) {
      if (event.line.starts_with("ready")) children.RequestStop(event.child);
      said[event.child].push_back(event.kind == Kind::kExited ? "exit " + std::to_string(event.exitCode)
                                  : event.kind == Kind::kError ? "error: " + event.line
                                                               : event.line);
    }
  }
  for (int i = 0; i < 2; ++i) {
    ASSERT_EQ(said[i].size(), 4u) << i;
    EXPECT_EQ(said[i].back(), "exit 0") << "a line after the child's end";
    // The two pipes are read apart: standard error's line may come first or second.
    std::erase(said[i], "error: waiting");
    EXPECT_EQ(said[i], (std::vector<std::string>{"ready with \"quotes\"", "stopped", "exit 0"})) << i;
  }
}

}  // namespace
}  // namespace baleport
