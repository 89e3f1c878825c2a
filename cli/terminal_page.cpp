#include "cli/terminal_page.h"

#include <csignal>

#include "conversion/folder_paths.h"
#include "support/path_separator.h"

namespace baleport {
namespace {

volatile std::sig_atomic_t interruptRequested = 0;

void OnInterrupt(int) {
  interruptRequested = 1;
  std::signal(SIGINT, SIG_DFL);
}

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

std::string Lines(const std::string& text) { return ReplaceAll(text, "\r\n", "\n"); }

}  // namespace

void CatchInterrupt() {
  interruptRequested = 0;
  std::signal(SIGINT, OnInterrupt);
}

void TerminalPage::SetCaption(CaptionControl control, const std::string& caption) {
  if (control == CaptionControl::FrameConversion) {
    const size_t open = caption.find('(');
    position_ = open == std::string::npos ? "" : Shown(caption.substr(open));
  }
  // "Migrating <n> items from <folder>" / "Converting <n> items from <folder>": a folder starts.
  if (control == CaptionControl::lblCount1 && caption.find(" items from ") != std::string::npos && !options_.quiet) {
    EndProgressLine();
    out_ << Shown(caption) << "\n" << std::flush;
  }
}

void TerminalPage::SetProgressValue(float value) {
  if (!options_.terminal || options_.quiet) return;
  const auto now = std::chrono::steady_clock::now();
  if (value < 100 && now - lastDrawn_ < std::chrono::milliseconds(100)) return;
  lastDrawn_ = now;
  out_ << "\r  " << static_cast<int>(value) << "% " << position_ << "\x1b[K" << std::flush;
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
  if (request.buttons == MessageButtons::kYesNo) return MessageAnswer::kYes;
  EndProgressLine();
  if (options_.quiet && request.details.empty() && request.title == "Tamsel Baleport") return MessageAnswer::kOk;
  errors_ << request.title << ":\n" << Lines(request.text) << "\n";
  if (!request.details.empty()) errors_ << "Details: " << request.details << "\n";
  errors_ << std::flush;
  return MessageAnswer::kOk;
}

void TerminalPage::ProcessPendingEvents() {
  if (interruptRequested == 0 || interrupted_) return;
  interrupted_ = true;
  EndProgressLine();
  errors_ << "Interrupted: stopping after the current message.\n" << std::flush;
  if (onInterrupt) onInterrupt();
}

}  // namespace baleport
