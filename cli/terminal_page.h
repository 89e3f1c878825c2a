// The conversion page on a terminal: the run's captions become progress output, its
// message boxes are answered without being shown (the command line reports the run at
// its end), the save dialog answers with
// the store path of the command line, and Ctrl-C closes the page (the run then ends
// after the current message, which is committed).
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "cli/console.h"
#include "cli/progress_bars.h"
#include "conversion/page_controls.h"

namespace baleport {

struct TerminalPageOptions {
  // The save dialog's answer; empty: the proposed file name in `currentFolder`.
  std::string storePath;
  std::string currentFolder;
  bool deleteSource = false;
  bool quiet = false;
  // A terminal gets two lines redrawn in place (the folders, and the current folder's
  // entries with rate and time left); anything else one line per folder.
  bool terminal = false;
  // The terminal's width in columns; 0: asked of standard output at each redraw.
  int width = 0;
};

class TerminalPage final : public PageControls {
 public:
  TerminalPage(TerminalPageOptions options, std::ostream& out, std::ostream& errors)
      : options_(std::move(options)), out_(out), errors_(errors) {}

  // Called once from ProcessPendingEvents after Ctrl-C: the page closes.
  std::function<void()> onInterrupt;
  // Ticks ChkDelete when the command line asks for it (after the page's Form_Load).
  void ApplyCommandLine() { deleteSource_ = options_.deleteSource ? 1 : 0; }
  bool interrupted() const { return interrupted_; }

  void SetCaption(CaptionControl control, const std::string& caption) override;
  void SetProgressRange(int, int) override {}
  void SetProgressValue(float value) override;
  void SetButtonEnabled(ButtonControl, bool) override {}
  void SetButtonVisible(ButtonControl, bool) override {}
  int DeleteSourceValue() override { return deleteSource_; }
  void SetDeleteSourceValue(int value) override { deleteSource_ = value; }
  std::optional<std::string> ShowSaveDialog(const SaveDialogRequest& request) override;
  MessageAnswer ShowMessage(const MessageBoxRequest& request) override;
  void OpenAddress(const std::string&) override {}
  void ClosePage() override {}
  void ProcessPendingEvents() override;

 private:
  void EndProgressLine();
  void DrawProgress();

  TerminalPageOptions options_;
  std::ostream& out_;
  std::ostream& errors_;
  int deleteSource_ = 0;
  bool interrupted_ = false;
  // The folders, the current folder's entries handled so far and in all, and when it started.
  ProgressState progress_;
  std::chrono::steady_clock::time_point folderStarted_{};
  std::chrono::steady_clock::time_point lastDrawn_{};
  bool progressShown_ = false;
};

}  // namespace baleport
