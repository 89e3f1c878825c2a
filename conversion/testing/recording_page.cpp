#include "conversion/testing/recording_page.h"

namespace baleport {

std::vector<std::string> RecordingPage::CaptionsOf(CaptionControl control) const {
  std::vector<std::string> shown;
  for (const auto& [which, caption] : captionHistory) {
    if (which == control) shown.push_back(caption);
  }
  return shown;
}

void RecordingPage::SetCaption(CaptionControl control, const std::string& caption) {
  captions[control] = caption;
  captionHistory.emplace_back(control, caption);
}

void RecordingPage::SetProgressRange(int minimum, int maximum) {
  progressMinimum = minimum;
  progressMaximum = maximum;
}

std::optional<std::string> RecordingPage::ShowSaveDialog(const SaveDialogRequest& request) {
  saveDialogs.push_back(request);
  return saveDialogAnswer;
}

MessageAnswer RecordingPage::ShowMessage(const MessageBoxRequest& request) {
  messages.push_back(request);
  if (request.buttons == MessageButtons::kOk) return MessageAnswer::kOk;
  return answer ? answer(request) : MessageAnswer::kYes;
}

void RecordingPage::ClosePage() {
  ++closeCount;
  if (onClose) onClose();
}

void RecordingPage::ProcessPendingEvents() {
  if (onYield) onYield();
}

}  // namespace baleport
