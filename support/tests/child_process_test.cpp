#include "support/child_process.h"

#include <gtest/gtest.h>

#include <map>

namespace baleport {
namespace {

using Kind = ChildEvent::Kind;

// Every event until every child has ended, each child asked to stop once it says `stopAfter`.
std::vector<ChildEvent> Collect(ChildProcesses& children, const std::string& stopAfter = "-") {
  std::vector<ChildEvent> events;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (children.running() > 0 && std::chrono::steady_clock::now() < deadline) {
    for (ChildEvent& event : children.Wait(std::chrono::milliseconds(100))) {
      if (event.line == stopAfter) children.RequestStop(event.child);
      events.push_back(std::move(event));
    }
  }
  return events;
}

TEST(ChildProcesses, LinesOfBothPipesAndTheExitStatusComeBackPerChild) {
  ChildProcesses children;
  for (int i = 0; i < 2; ++i) {
    const Result<int> started = children.Start(CHILD_HELPER, {"lines"});
    ASSERT_TRUE(started.ok()) << started.status().message();
    EXPECT_EQ(*started, i);
  }
  std::map<int, std::vector<std::string>> output, errors;
  std::map<int, int> exits;
  for (const ChildEvent& event : Collect(children)) {
    EXPECT_EQ(exits.count(event.child), 0u) << "a line after the child's end";
    if (event.kind == Kind::kExited) exits[event.child] = event.exitCode;
    else (event.kind == Kind::kError ? errors : output)[event.child].push_back(event.line);
  }
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(output[i], (std::vector<std::string>{"first", "second with \"quotes\"", "unended"}));
    EXPECT_EQ(errors[i], std::vector<std::string>{"a problem"});
    EXPECT_EQ(exits[i], 3);
  }
  const Result<int> missing = children.Start(std::string(CHILD_HELPER) + ".missing", {});
  ASSERT_FALSE(missing.ok());
  EXPECT_NE(missing.status().message().find(".missing"), std::string::npos) << missing.status().message();
}

TEST(ChildProcesses, AStoppedChildEndsAfterItsCurrentWork) {
  ChildProcesses children;
  ASSERT_TRUE(children.Start(CHILD_HELPER, {"work"}).ok());
  const std::vector<ChildEvent> events = Collect(children, "ready");
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.end()[-2].line, "stopped") << "its last words were lost";
  EXPECT_EQ(events.back().kind, Kind::kExited);
  EXPECT_EQ(events.back().exitCode, 0) << "it ended on its own, as asked";
}

}  // namespace
}  // namespace baleport
