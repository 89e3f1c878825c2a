// The progress lines of a terminal, rendered for given widths; `baleport convert` (and with
// -j) in a pseudo-terminal, redrawing them in place.
#include "cli/progress_bars.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "conversion/folder_paths.h"
#include "conversion/tests/message_files.h"
#include "files/tests/test_tree.h"
#include "pst/tests/store_testing.h"
#include "support/utf16_text.h"

namespace baleport {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::CommandResult;
using testing::Quote;

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(ProgressBars, FoldersAndMessagesWithRateAndTimeLeft) {
  const ProgressState state{2, 3, "/mail/Inbox", 250, 1000, 5.0};
  EXPECT_THAT(LinesOf(RenderProgress(state, 60)),
              ElementsAre("Folder 2 of 3 [##########----------------------] /mail/Inbox",
                          "Messages 250 of 1000 [####------------] 25%  50/s  15 s left"));
  // Long waits are told in hours and minutes; a finished folder has none.
  EXPECT_THAT(RenderProgress({1, 1, "x", 1, 200000, 1.0}, 100), HasSubstr("55 h 33 min left"));
  EXPECT_THAT(RenderProgress({1, 1, "Box", 40, 40, 2.0}, 50), ::testing::EndsWith("#] 100%  20/s"));
  // With -j one line for the run; the bar, rate and time left once every folder is searched.
  EXPECT_EQ(RenderOverall({1, 3, 250, 1000, true, 5.0}, 80),
            "Folders 1 of 3, messages 250 of 1000 [#####---------------] 25%  50/s  15 s left");
  EXPECT_EQ(RenderOverall({1, 3, 250, 600, false, 5.0}, 60),
            "Folders 1 of 3, messages 250 of 600+ [---------------------]");
}

TEST(ProgressBars, NarrowTerminalsCutTheNameThenDropTheBars) {
  const std::string name = "/mail/Почта/Входящие/очень длинное имя папки";
  for (int width : {80, 40, 30, 20, 12, 1}) {
    SCOPED_TRACE(width);
    std::vector<std::string> lines = LinesOf(RenderProgress({3, 12, name, 7, 90, 1.0}, width));
    lines.push_back(RenderOverall({3, 12, 7, 90, true, 1.0}, width));
    for (const std::string& line : lines) {
      EXPECT_LE(Utf8ToUtf16(line).size(), static_cast<size_t>(width)) << line;
      // Never cut inside a character.
      EXPECT_FALSE(!line.empty() && (static_cast<unsigned char>(line.back()) & 0xC0) == 0xC0) << line;
    }
  }
  EXPECT_THAT(RenderProgress({3, 12, name, 7, 90, 1.0}, 40), HasSubstr("..."));
  EXPECT_THAT(LinesOf(RenderProgress({3, 12, name, 7, 90, 1.0}, 20))[1], ::testing::StartsWith("Messages 7 of 90 7%"));
}

// Runs `baleport arguments` in a pseudo-terminal of 72 columns (util-linux's script); returns
// what it drew.
CommandResult InATerminal(const std::string& arguments) {
  return testing::Run("script -qec " + Quote("stty cols 72 rows 24; exec " BALEPORT_BINARY " " + arguments) + " /dev/null");
}

// The real program in a pseudo-terminal draws both bars, each drawing going back up over the
// last, or with -j the one line of the run, within the terminal's width; through a pipe it
// writes no control sequence (command_line_test.cpp).
TEST(ProgressBars, ConvertDrawsItsBarsInAPseudoTerminal) {
  testing::TestTree tree;
  for (const char* folder : {"mail/A", "mail/B"}) {
    for (int i = 0; i < 5; ++i) testing::WriteMessageFile(tree.Folder(folder) + "/m" + std::to_string(i) + ".msg", "M");
  }
  const CommandResult run = InATerminal("convert " + Quote(tree.Path("mail/A")) + " -o " + Quote(tree.Path("out.pst")));
  EXPECT_EQ(run.exit_code, 0) << run.output;
  EXPECT_THAT(run.output, HasSubstr("Folder 1 of 1 ["));
  EXPECT_THAT(run.output, HasSubstr("\x1b[K\r\nMessages 5 of 5 ["));
  EXPECT_THAT(run.output, HasSubstr("\r\x1b[1A"));
  const CommandResult parallel =
      InATerminal("convert --each " + Quote(tree.Path("mail")) + " -d " + Quote(tree.Folder("out")) + " -j 2");
  EXPECT_EQ(parallel.exit_code, 0) << parallel.output;
  EXPECT_THAT(parallel.output, HasSubstr("\rFolders 2 of 2, messages 10 of 10 [#"));
  EXPECT_THAT(parallel.output, HasSubstr("\x1b[K\r\nIn all: 2 folders, 10 messages: 10 converted, 0 failed\r\n"));
  // Each drawing, between returns to the start of its line, fits the terminal.
  std::string drawn = run.output + parallel.output;
  for (const char* sequence : {"\x1b[K", "\x1b[1A"}) drawn = ReplaceAll(drawn, sequence, "");
  std::replace(drawn.begin(), drawn.end(), '\r', '\n');
  for (const std::string& shown : LinesOf(drawn)) {
    if (shown.starts_with("Folder") || shown.starts_with("Messages ")) {
      EXPECT_LE(Utf8ToUtf16(shown).size(), 71u) << shown;
    }
  }
}

}  // namespace
}  // namespace baleport
