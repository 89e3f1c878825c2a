// baleport-gui.exe under Wine on an X server of its own, driven as a user drives it: real
// pointer and key events (xdotool), windows awaited by their titles, never by the clock. Both
// modes run on the sample messages, linked into mailboxes on the Windows Desktop.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "packaging/windows/tests/wine_prefix.h"
#include "pst/tests/store_testing.h"

namespace baleport::testing {
namespace {

namespace fs = std::filesystem;
using pst::testing::VerifiedMessageCount;

const std::string kProgram = BALEPORT_WINDOWS_BUILD "/bin/baleport-gui.exe";
const std::string kSamples = BALEPORT_SAMPLES_DIR "/msg";
// The title of the program's message boxes: the end of a run, and warnings.
constexpr char kBoxTitle[] = "Tamsel Baleport";

// Links (or copies, across file systems) `count` samples from the `from`th into `folder`,
// `copies` times over; how many.
int AddSamples(const fs::path& folder, size_t from, size_t count, int copies = 1) {
  std::vector<fs::path> samples(fs::directory_iterator(kSamples), fs::directory_iterator{});
  std::sort(samples.begin(), samples.end());
  fs::create_directories(folder);
  int added = 0;
  for (int copy = 0; copy < copies; ++copy) {
    for (size_t i = from; i < std::min(samples.size(), from + count); ++i, ++added) {
      const fs::path target = folder / (std::to_string(copy) + " " + samples[i].filename().string());
      std::error_code linked;
      fs::create_hard_link(samples[i], target, linked);
      if (linked) fs::copy_file(samples[i], target);
    }
  }
  return added;
}

// The first line of `output` that is a number ("" when none is): a window id among xdotool's
// X errors about windows closing meanwhile, the display Xvfb reports among its warnings.
std::string FirstNumber(const std::string& output) {
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) return line;
  }
  return "";
}

class WizardUnderWineTest : public ::testing::Test {
 protected:
  static std::string Missing() {
    if (std::string why = WineMissing(); !why.empty()) return why;
    if (!fs::exists(kProgram)) return kProgram + " is absent: the Windows build makes it";
    if (!fs::is_directory(kSamples)) return kSamples + " is absent (../shared is not beside the project)";
    if (testing::Run("command -v Xvfb && command -v xdotool").exit_code != 0) return "Xvfb or xdotool is absent";
    return "";
  }
  static void SetUpTestSuite() {
    if (!Missing().empty()) return;
    // Xvfb picks a free display and writes its number once ready. No window manager: windows
    // have no title bar and take the focus they are given.
    const std::string log = pst::testing::TempDir("xvfb") + "/xvfb.log";
    xvfb_ = Start({"Xvfb", "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"}, log);
    for (int tries = 0; xvfb_ > 0 && display_.empty() && tries < 600; ++tries, ::usleep(100 * 1000)) {
      if (const std::string number = FirstNumber(ReadAll(log)); !number.empty()) display_ = ":" + number;
    }
    if (display_.empty()) return;
    wine_ = std::make_unique<WinePrefix>(display_);
    const fs::path mail = fs::path(wine_->Home()) / "Mailboxes";
    alice_ = AddSamples(mail / "Alice", 0, 8) + AddSamples(mail / "Alice" / "Inbox", 8, 4);
    // Enough copies that a folder takes several seconds under Wine: Skip and Stop land
    // mid-folder however quickly the machine converts.
    bob_ = AddSamples(mail / "Bob", 0, 1000, 80);
    carol_ = AddSamples(mail / "Carol", 0, 1000, 80);
  }
  static void TearDownTestSuite() {
    wine_.reset();
    if (xvfb_ > 0) ::kill(xvfb_, SIGTERM), ::waitpid(xvfb_, nullptr, 0);
  }

  void SetUp() override {
    if (std::string why = Missing(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_NE(display_, "") << "Xvfb did not start";
    ASSERT_EQ(wine_->error(), "");
    log_ = pst::testing::TempDir("wizard") + "/wine.log";
    program_ = wine_->Start(Quote(WindowsPath(kProgram)), log_);
    ASSERT_GT(program_, 0);
    start_ = Await("Tamsel Baleport v" BALEPORT_VERSION);
  }
  void TearDown() override {
    if (program_ <= 0) return;
    wine_->EndAll();
    ::waitpid(program_, nullptr, 0);
  }

  // Ended after ten minutes, should it wait for a window that never comes.
  static CommandResult Xdotool(const std::string& args) {
    return testing::Run("DISPLAY=" + display_ + " timeout 600 xdotool " + args);
  }
  // The visible window titled exactly `title` (an extended regular expression), once it shows.
  // A box of the program's errors or warnings in its place (unless `allowed` names it) ends the
  // test at once, as a thrown error.
  std::string Await(const std::string& title, const std::string& allowed = "") {
    std::string boxes = "Outlook Error|Select Folder\\(s\\) to Convert";
    if (title != kBoxTitle) boxes += std::string("|") + kBoxTitle;
    // xdotool gives up on an X error, as when a window closes while it reads its name.
    CommandResult found;
    std::string window;
    for (int attempt = 0; attempt < 100 && window.empty(); ++attempt) {
      found = Xdotool("search --sync --onlyvisible --name " + Quote("^(" + title + "|" + boxes + ")$"));
      window = FirstNumber(found.output);
    }
    const std::string shown = window.empty() ? found.output : Title(window);
    if (window.empty() || !(std::regex_match(shown, std::regex(title)) || (!allowed.empty() && shown == allowed))) {
      throw std::runtime_error("awaiting \"" + title + "\", the program showed \"" + shown + "\"; it said:\n" +
                               ReadAll(log_));
    }
    return window;
  }
  std::string Title(const std::string& window) {
    const std::string name = Xdotool("getwindowname " + window).output;
    return name.substr(0, name.find('\n'));  // a window's name, then any error
  }
  // Answers the window titled `title` with `keys`, then waits until it has closed: the page
  // under it takes clicks only then.
  void Answer(const std::string& title, const std::string& keys) {
    Keys(Await(title), keys);
    for (int attempt = 0; attempt < 3000; ++attempt, ::usleep(200 * 1000)) {
      const CommandResult shown = Xdotool("search --onlyvisible --name " + Quote("^" + title + "$"));
      if (shown.exit_code == 1 && FirstNumber(shown.output).empty()) return;  // not an X error: gone
    }
    throw std::runtime_error("\"" + title + "\" never closed");
  }
  // Clicks at `x`, `y` until the window titled `title` shows: a button the run enables a moment
  // after its caption changes ignores a click that comes before.
  void ClickUntil(const std::string& window, int x, int y, const std::string& title) {
    for (int attempt = 0; attempt < 1200; ++attempt, ::usleep(500 * 1000)) {
      Click(window, x, y);
      if (!FirstNumber(Xdotool("search --onlyvisible --name " + Quote("^" + title + "$")).output).empty()) return;
    }
    throw std::runtime_error("clicks never brought \"" + title + "\"");
  }
  // A click at `x`, `y` of the window's client area (the pages are laid out at 96 dpi, Wine's).
  void Click(const std::string& window, int x, int y) {
    Xdotool("mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) + " click 1");
  }
  // Keys go to the window under the pointer: Xvfb's focus follows it.
  void Keys(const std::string& window, const std::string& keys) {
    Xdotool("mousemove --window " + window + " 4 4 " + keys);
  }

  static inline pid_t xvfb_ = -1;
  static inline std::string display_;
  static inline std::unique_ptr<WinePrefix> wine_;
  static inline uint64_t alice_ = 0, bob_ = 0, carol_ = 0;
  std::string log_, start_;
  pid_t program_ = -1;
};

TEST_F(WizardUnderWineTest, SingleFolderTypedAndSavedConvertsEveryMessage) {
  Keys(start_, "key alt+F4");
  Answer(kBoxTitle, "key n");  // the start page's close box asks first; No keeps the program
  Click(start_, 52, 168);      // Single MSG Folder
  Click(start_, 544, 453);     // Next >
  const std::string single = Await("Single Folder Conversion Mode");
  Click(single, 200, 157);  // the folder box: typed rather than picked
  Xdotool("type --delay 5 " + Quote(WindowsPath(wine_->Home() + "/Mailboxes/Alice")));
  Click(single, 504, 229);                      // Next >
  Click(Await("Conversion Status"), 288, 234);  // Start Conversion
  const std::string save = Await("Save As");
  const std::string store = wine_->Home() + "/Alice single.pst";
  Keys(save, "key ctrl+a type --delay 5 " + Quote(WindowsPath(store)));
  Keys(save, "key Return");
  Keys(Await(kBoxTitle), "key Return");
  EXPECT_EQ(VerifiedMessageCount(store), alice_);
}

TEST_F(WizardUnderWineTest, MultipleFoldersPickedWithSkipAndStopLeaveReadableStores) {
  Click(start_, 52, 248);   // Multiple Folders
  Click(start_, 544, 453);  // Next >
  const std::string multiple = Await("Multiple Folder Conversion Mode");
  Click(multiple, 496, 80);  // Select...
  // The shell's folder picker opens on the Desktop: "/", Documents, Mailboxes, My Computer,
  // Trash. Letters typed there could press a button by its access key, so the row is clicked.
  Click(Await("Browse for Folder"), 100, 119);  // Mailboxes
  Answer("Browse for Folder", "key Return");
  // The list is filled once the picker has gone, which no title shows: until Next moves on,
  // the warning that nothing is ticked is answered and Check All clicked again.
  std::string page;
  for (int attempt = 0; attempt < 100 && page.empty(); ++attempt) {
    Click(multiple, 47, 136);   // Check All: Alice, Bob, Carol
    Click(multiple, 632, 453);  // Next >; the stores go to the Desktop
    const std::string shown = Await("Conversion Status", "Select Folder(s) to Convert");
    if (Title(shown) == "Conversion Status") {
      page = shown;
    } else {
      Answer("Select Folder\\(s\\) to Convert", "key Return");
    }
  }
  ASSERT_NE(page, "") << "Check All never ticked a row";
  Click(page, 288, 234);  // Start Conversion

  Await("Converting 2 of 3 Folders");
  ClickUntil(page, 556, 26, "Confirm Skip");  // X: skip Bob
  Answer("Confirm Skip", "key y");
  Await("Converting 3 of 3 Folders");
  ClickUntil(page, 288, 234, "Confirm Stop");  // Stop, where Start was
  Keys(Await("Confirm Stop"), "key y");
  Keys(Await(kBoxTitle), "key Return");

  EXPECT_EQ(VerifiedMessageCount(wine_->Home() + "/Alice.pst"), alice_);
  EXPECT_LT(VerifiedMessageCount(wine_->Home() + "/Bob.pst"), bob_) << "Skip came after the folder was done";
  EXPECT_LT(VerifiedMessageCount(wine_->Home() + "/Carol.pst"), carol_) << "Stop came after the folder was done";
}

}  // namespace
}  // namespace baleport::testing
