#include "cli/terminal_page.h"

#include <csignal>
#include <cstdio>

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

bool InterruptRequested() { return interruptRequested != 0; }

void TerminalPage::SetCaption(CaptionControl control, const std::string& caption) {
  if (control == CaptionControl::FrameConversion) {
    // "Reading Messages && Email Metadata - (<n> of <m>) File(s)"
    const size_t open = caption.find('(');
    if (open != std::string::npos) std::sscanf(caption.c_str() + open, "(%d of %d)", &done_, &total_);
  }
  // "Migrating <n> items from <folder>" / "Converting <n> items from <folder>": a folder starts.
  if (control == CaptionControl::lblCount1 && caption.find(" items from ") != std::string::npos) {
    folderStarted_ = std::chrono::steady_clock::now();
    done_ = total_ = 0;
    if (options_.quiet) return;
    EndProgressLine();
    out_ << Shown(caption) << "\n" << std::flush;
  }
}

void TerminalPage::SetProgressValue(float value) {
  if (!options_.terminal || options_.quiet || total_ == 0) return;
  const auto now = std::chrono::steady_clock::now();
  if (done_ < total_ && now - lastDrawn_ < std::chrono::milliseconds(100)) return;
  lastDrawn_ = now;
  const double seconds = std::chrono::duration<double>(now - folderStarted_).count();
  const double rate = seconds > 0 ? done_ / seconds : 0;
  out_ << "\r  " << static_cast<int>(value) << "%  " << done_ << " of " << total_ << " messages  "
       << static_cast<int>(rate) << "/s";
  if (rate > 0 && done_ < total_) out_ << "  " << static_cast<int>((total_ - done_) / rate) << " s left";
  out_ << "\x1b[K" << std::flush;
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
  if (!InterruptRequested() || interrupted_) return;
  interrupted_ = true;
  EndProgressLine();
  errors_ << "Interrupted: stopping after the current message.\n" << std::flush;
  if (onInterrupt) onInterrupt();
}

}  // namespace baleport
