#include "cli/terminal_page.h"

#include <cstdio>

#include "conversion/folder_paths.h"
#include "support/path_separator.h"

namespace baleport {
namespace {

// A caption as shown: "&&" is a plain "&", a single "&" marks the access key.
std::string Shown(const std::string& caption) {
  std::string out;
  for (size_t i = 0; i < caption.size(); ++i) {
    if (caption[i] != '&') {
      out += caption[i];
    } else if (i + 1 < caption.size() && caption[i + 1] == '&') {
      out += '&';
      ++i;
    }
  }
  return out;
}

}  // namespace

void TerminalPage::SetCaption(CaptionControl control, const std::string& caption) {
  if (control == CaptionControl::FrameConversion) {
    // "Reading Messages && Email Metadata - (<n> of <m>) File(s)"
    const size_t open = caption.find('(');
    if (open != std::string::npos) std::sscanf(caption.c_str() + open, "(%d of %d)", &progress_.done, &progress_.total);
  }
  // "Converting <i> of <n> Folders" with --each; "Conversion Status" for one folder.
  if (control == CaptionControl::frmMigateAll) {
    progress_.folder = progress_.folders = 1;
    std::sscanf(caption.c_str(), "Converting %d of %d Folders", &progress_.folder, &progress_.folders);
  }
  // "Migrating <n> items from <folder>" / "Converting <n> items from <folder>": a folder starts.
  constexpr char kItemsFrom[] = " items from ";
  if (const size_t from = caption.find(kItemsFrom); control == CaptionControl::lblCount1 && from != std::string::npos) {
    folderStarted_ = std::chrono::steady_clock::now();
    progress_.done = progress_.total = 0;
    progress_.folderName = caption.substr(from + sizeof(kItemsFrom) - 1);
    if (options_.quiet) return;
    EndProgressLine();
    std::string shown = Shown(caption);
    if (const size_t one = shown.find(" 1 items from "); one != std::string::npos && one < shown.find(kItemsFrom)) {
      shown.erase(one + 7, 1);  // "1 item"
    }
    out_ << shown << "\n" << std::flush;
  }
}

void TerminalPage::SetProgressValue(float) {
  if (!options_.terminal || options_.quiet || progress_.total == 0) return;
  const auto now = std::chrono::steady_clock::now();
  if (progress_.done < progress_.total && now - lastDrawn_ < std::chrono::milliseconds(100)) return;
  lastDrawn_ = now;
  progress_.seconds = std::chrono::duration<double>(now - folderStarted_).count();
  DrawProgress();
}

void TerminalPage::DrawProgress() {
  // One column spare: a line that fills the terminal would leave the cursor past its end.
  const int width = (options_.width > 0 ? options_.width : TerminalWidth()) - 1;
  // Back to the start of the first of the two lines drawn before.
  if (progressShown_) out_ << "\r\x1b[1A";
  out_ << ReplaceAll(RenderProgress(progress_, width), "\n", "\x1b[K\n") << "\x1b[K" << std::flush;
  progressShown_ = true;
}

void TerminalPage::EndProgressLine() {
  if (!progressShown_) return;
  out_ << "\n";
  progressShown_ = false;
}

std::optional<std::string> TerminalPage::ShowSaveDialog(const SaveDialogRequest& request) {
  if (!options_.storePath.empty()) return options_.storePath;
  std::string folder = options_.currentFolder;
  if (!folder.ends_with(kPathSeparator)) folder += kPathSeparator;
  return folder + request.proposedFileName;
}

MessageAnswer TerminalPage::ShowMessage(const MessageBoxRequest& request) {
  // The command line asks nothing: Skip and Stop are never requested, Ctrl-C closes the page.
  // The boxes are not shown: the store error's reason and the run's outcome are in the
  // run's report, which the command line prints in its own words at the end.
  EndProgressLine();
  return request.buttons == MessageButtons::kYesNo ? MessageAnswer::kYes : MessageAnswer::kOk;
}

void TerminalPage::ProcessPendingEvents() {
  if (!InterruptRequested() || interrupted_) return;
  interrupted_ = true;
  EndProgressLine();
  errors_ << "Interrupted: stopping after the current message.\n" << std::flush;
  if (onInterrupt) onInterrupt();
}

}  // namespace baleport
