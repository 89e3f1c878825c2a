// baleport-gui.exe under Wine, driven as a user drives it: real pointer and key events sent
// through the X server (xdotool), windows awaited by their titles, never by the clock. Both
// modes run on real mail (the sample messages, linked into a mailbox tree on the Windows
// Desktop); the multiple-folder run is skipped in one folder and stopped in the next. Every
// store is then read by every reader.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <regex>
#include <sstream>
#include <string>

#include "packaging/windows/tests/wine_prefix.h"
#include "pst/tests/store_testing.h"

namespace baleport::testing {
namespace {

namespace fs = std::filesystem;
using pst::testing::Quote;
using pst::testing::VerifiedMessageCount;

const std::string kProgram = BALEPORT_WINDOWS_BUILD "/bin/baleport-gui.exe";
const std::string kSamples = BALEPORT_SAMPLES_DIR "/msg";
// Enough copies that a folder takes several seconds under Wine: Skip and Stop land mid-folder
// however quickly the machine converts.
constexpr int kCopies = 80;
// The title of the program's message boxes: the end of a run, and warnings.
constexpr char kBoxTitle[] = "Tamsel Baleport";

// Links (or copies, across file systems) `count` of the samples into `folder`, `copies` times.
int AddSamples(const fs::path& folder, size_t from, size_t count, int copies) {
  std::vector<fs::path> samples;
  for (const auto& entry : fs::directory_iterator(kSamples)) samples.push_back(entry.path());
  std::sort(samples.begin(), samples.end());
  fs::create_directories(folder);
  int added = 0;
  for (int copy = 0; copy < copies; ++copy) {
    for (size_t i = from; i < std::min(samples.size(), from + count); ++i) {
      const fs::path target = folder / (std::to_string(copy) + " " + samples[i].filename().string());
      std::error_code linked;
      fs::create_hard_link(samples[i], target, linked);
      if (linked) fs::copy_file(samples[i], target);
      ++added;
    }
  }
  return added;
}

// The first window id xdotool printed: X errors about windows closing meanwhile come in the
// same output.
std::string FirstWindow(const std::string& output) {
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos) return line;
  }
  return "";
}

class WizardUnderWineTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (!Missing().empty()) return;
    display_ = std::make_unique<VirtualDisplay>();
    if (!display_->name().empty()) wine_ = std::make_unique<WinePrefix>(display_->name());
  }
  static void TearDownTestSuite() {
    wine_.reset();
    display_.reset();
  }
  static std::string Missing() {
    if (std::string why = WineMissing(); !why.empty()) return why;
    if (!fs::exists(kProgram)) return kProgram + " is absent: the Windows build makes it";
    if (!fs::is_directory(kSamples)) return kSamples + " is absent (../shared is not beside the project)";
    if (pst::testing::Run("command -v Xvfb && command -v xdotool").exit_code != 0) return "Xvfb or xdotool is absent";
    return "";
  }

  void SetUp() override {
    if (std::string why = Missing(); !why.empty()) GTEST_SKIP() << why;
    ASSERT_NE(display_->name(), "") << "Xvfb did not start";
    ASSERT_EQ(wine_->error(), "");
    mail_ = fs::path(wine_->Home()) / "Mailboxes";
    if (!fs::exists(mail_)) {
      alice_ = AddSamples(mail_ / "Alice", 0, 8, 1) + AddSamples(mail_ / "Alice" / "Inbox", 8, 4, 1);
      bob_ = AddSamples(mail_ / "Bob", 0, 1000, kCopies);
      carol_ = AddSamples(mail_ / "Carol", 0, 1000, kCopies);
    }
    log_ = pst::testing::TempDir("wizard") + "/wine.log";
    program_ = wine_->Start(Quote(WindowsPath(kProgram)), log_);
    ASSERT_GT(program_, 0);
  }
  void TearDown() override {
    if (program_ <= 0) return;
    wine_->EndAll();
    ::waitpid(program_, nullptr, 0);
  }

  // The visible window titled exactly `title` (an extended regular expression), once it shows;
  // "" after a failure when a box of the program's errors or warnings shows instead, unless
  // `allowed` names it.
  std::string Await(const std::string& title, const std::string& allowed = "") {
    std::string boxes = "Outlook Error|Select Folder\\(s\\) to Convert";
    if (title != kBoxTitle) boxes += std::string("|") + kBoxTitle;
    // xdotool gives up on an X error, as when a window closes while it reads its name.
    CommandResult found;
    std::string window;
    for (int attempt = 0; attempt < 100 && window.empty(); ++attempt) {
      found = display_->Xdotool("search --sync --onlyvisible --name " + Quote("^(" + title + "|" + boxes + ")$"));
      window = FirstWindow(found.output);
    }
    const std::string shown = window.empty() ? found.output : Title(window);
    if (window.empty() ||
        !(std::regex_match(shown, std::regex(title)) || (!allowed.empty() && shown == allowed))) {
      ADD_FAILURE() << "awaiting \"" << title << "\", the program showed \"" << shown << "\"; it said:\n"
                    << pst::testing::ReadAll(log_);
      return "";
    }
    return window;
  }
  std::string Title(const std::string& window) {
    const std::string name = display_->Xdotool("getwindowname " + window).output;
    return name.substr(0, name.find('\n'));  // a window's name, then any error
  }
  // The visible window titled exactly `title` (an extended regular expression) now, or "".
  std::string Shown(const std::string& title) {
    return FirstWindow(display_->Xdotool("search --onlyvisible --name " + Quote("^" + title + "$")).output);
  }
  // Once no visible window is titled `title`: a dialog answered closes a moment later, and
  // the page under it takes clicks only then.
  void AwaitGone(const std::string& title) {
    for (int attempt = 0; attempt < 3000; ++attempt, ::usleep(200 * 1000)) {
      const CommandResult shown = display_->Xdotool("search --onlyvisible --name " + Quote("^" + title + "$"));
      if (shown.exit_code == 1 && FirstWindow(shown.output).empty()) return;  // not an X error: gone
    }
    ADD_FAILURE() << "\"" << title << "\" never closed";
  }
  // Clicks at `x`, `y` until the window titled `title` shows: a button the run enables a moment
  // after its caption changes ignores a click that comes before. Clicks on a page under a modal
  // box go nowhere.
  std::string ClickUntil(const std::string& window, int x, int y, const std::string& title) {
    std::string box;
    for (int attempt = 0; attempt < 1200 && box.empty(); ++attempt) {
      Click(window, x, y);
      box = Shown(title);
      if (box.empty()) ::usleep(500 * 1000);
    }
    EXPECT_NE(box, "") << "clicks at " << x << "," << y << " never brought \"" << title << "\"";
    return box;
  }
  // A click at `x`, `y` of the window's client area (its X window; the pages are laid out at
  // 96 dpi, which is Wine's).
  void Click(const std::string& window, int x, int y) {
    display_->Xdotool("mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) + " click 1");
  }
  // Keys go to the window under the pointer: Xvfb's focus follows it.
  void Keys(const std::string& window, const std::string& keys) {
    display_->Xdotool("mousemove --window " + window + " 4 4 " + keys);
  }

  static std::unique_ptr<VirtualDisplay> display_;
  static std::unique_ptr<WinePrefix> wine_;
  static fs::path mail_;
  static uint64_t alice_, bob_, carol_;
  std::string log_;
  pid_t program_ = -1;
};

std::unique_ptr<VirtualDisplay> WizardUnderWineTest::display_;
std::unique_ptr<WinePrefix> WizardUnderWineTest::wine_;
fs::path WizardUnderWineTest::mail_;
uint64_t WizardUnderWineTest::alice_ = 0;
uint64_t WizardUnderWineTest::bob_ = 0;
uint64_t WizardUnderWineTest::carol_ = 0;

TEST_F(WizardUnderWineTest, SingleFolderTypedAndSavedConvertsEveryMessage) {
  const std::string start = Await("Tamsel Baleport v" BALEPORT_VERSION);
  ASSERT_NE(start, "");
  // The start page's close box asks first; No keeps the program.
  Keys(start, "key alt+F4");
  const std::string question = Await(kBoxTitle);
  ASSERT_NE(question, "");
  Keys(question, "key n");
  AwaitGone(kBoxTitle);
  Click(start, 52, 168);   // Single MSG Folder
  Click(start, 544, 453);  // Next >
  const std::string single = Await("Single Folder Conversion Mode");
  ASSERT_NE(single, "");
  Click(single, 200, 157);  // the folder box: typed rather than picked
  display_->Xdotool("type --delay 5 " + Quote(WindowsPath((mail_ / "Alice").string())));
  Click(single, 504, 229);  // Next >
  const std::string page = Await("Conversion Status");
  ASSERT_NE(page, "");
  Click(page, 288, 234);  // Start Conversion
  const std::string save = Await("Save As");
  ASSERT_NE(save, "");
  const std::string store = wine_->Home() + "/Alice single.pst";
  Keys(save, "key ctrl+a type --delay 5 " + Quote(WindowsPath(store)));
  Keys(save, "key Return");
  const std::string done = Await(kBoxTitle);
  ASSERT_NE(done, "");
  Keys(done, "key Return");

  EXPECT_EQ(VerifiedMessageCount(store), alice_);
  EXPECT_TRUE(fs::exists(wine_->Home() + "/Alice single.log"));
}

TEST_F(WizardUnderWineTest, MultipleFoldersPickedWithSkipAndStopLeaveReadableStores) {
  const std::string start = Await("Tamsel Baleport v" BALEPORT_VERSION);
  ASSERT_NE(start, "");
  Click(start, 52, 248);   // Multiple Folders
  Click(start, 544, 453);  // Next >
  const std::string multiple = Await("Multiple Folder Conversion Mode");
  ASSERT_NE(multiple, "");
  Click(multiple, 496, 80);  // Select...
  // The shell's folder picker opens on the Desktop, which holds only the mailboxes beside
  // Wine's own items: "/", Documents, Mailboxes, My Computer, Trash. Letters typed there could
  // press a button by its access key, so the row is clicked.
  const std::string picker = Await("Browse for Folder");
  ASSERT_NE(picker, "");
  Click(picker, 100, 119);  // Mailboxes
  Keys(picker, "key Return");
  AwaitGone("Browse for Folder");
  // The list is filled once the picker has gone, which no title shows: until Next moves on,
  // the warning that nothing is ticked is answered and Check All clicked again.
  std::string page;
  for (int attempt = 0; attempt < 100 && page.empty(); ++attempt) {
    Click(multiple, 47, 136);   // Check All: Alice, Bob, Carol
    Click(multiple, 632, 453);  // Next >; the stores go to the Desktop
    const std::string shown = Await("Conversion Status", "Select Folder(s) to Convert");
    ASSERT_NE(shown, "");
    if (Title(shown) == "Conversion Status") {
      page = shown;
    } else {
      Keys(shown, "key Return");
      AwaitGone("Select Folder\\(s\\) to Convert");
    }
  }
  ASSERT_NE(page, "");
  Click(page, 288, 234);  // Start Conversion

  ASSERT_NE(Await("Converting 2 of 3 Folders"), "");
  const std::string skip = ClickUntil(page, 556, 26, "Confirm Skip");  // X: skip Bob
  ASSERT_NE(skip, "");
  Keys(skip, "key y");
  AwaitGone("Confirm Skip");
  ASSERT_NE(Await("Converting 3 of 3 Folders"), "");
  const std::string stop = ClickUntil(page, 288, 234, "Confirm Stop");  // Stop, where Start was
  ASSERT_NE(stop, "");
  Keys(stop, "key y");
  const std::string done = Await(kBoxTitle);
  ASSERT_NE(done, "");
  Keys(done, "key Return");

  EXPECT_EQ(VerifiedMessageCount(wine_->Home() + "/Alice.pst"), alice_);
  const uint64_t bob = VerifiedMessageCount(wine_->Home() + "/Bob.pst");
  EXPECT_LT(bob, bob_) << "Skip came after the folder was done";
  const uint64_t carol = VerifiedMessageCount(wine_->Home() + "/Carol.pst");
  EXPECT_LT(carol, carol_) << "Stop came after the folder was done";
  for (const char* log : {"Alice.log", "Bob.log", "Carol.log"}) EXPECT_TRUE(fs::exists(wine_->Home() + "/" + log)) << log;
}

}  // namespace
}  // namespace baleport::testing
