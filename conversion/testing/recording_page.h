// A conversion page that records what the run shows and answers its questions as told,
// and a wizard selection set up field by field.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "conversion/page_controls.h"
#include "conversion/wizard_selection.h"

namespace baleport {

class RecordingPage : public PageControls {
 public:
  std::map<CaptionControl, std::string> captions;
  std::map<ButtonControl, bool> enabled;
  std::map<ButtonControl, bool> visible;
  int deleteSourceValue = 0;

  std::vector<SaveDialogRequest> saveDialogs;
  std::vector<MessageBoxRequest> messages;
  int closeCount = 0;

  std::optional<std::string> saveDialogAnswer;  // nullopt: the user cancels
  // Answers every Yes/No box; kYes unless set.
  std::function<MessageAnswer(const MessageBoxRequest&)> answer;
  // Runs inside every ProcessPendingEvents: clicks the test makes during the run.
  std::function<void()> onYield;
  // Runs inside ClosePage, as a window's close event would.
  std::function<void()> onClose;

  void SetCaption(CaptionControl control, const std::string& caption) override { captions[control] = caption; }
  void SetProgressRange(int, int) override {}
  void SetProgressValue(float) override {}
  void SetButtonEnabled(ButtonControl button, bool on) override { enabled[button] = on; }
  void SetButtonVisible(ButtonControl button, bool on) override { visible[button] = on; }
  int DeleteSourceValue() override { return deleteSourceValue; }
  void SetDeleteSourceValue(int value) override { deleteSourceValue = value; }
  std::optional<std::string> ShowSaveDialog(const SaveDialogRequest& request) override {
    saveDialogs.push_back(request);
    return saveDialogAnswer;
  }
  MessageAnswer ShowMessage(const MessageBoxRequest& request) override {
    messages.push_back(request);
    if (request.buttons == MessageButtons::kOk) return MessageAnswer::kOk;
    return answer ? answer(request) : MessageAnswer::kYes;
  }
  void ClosePage() override {
    ++closeCount;
    if (onClose) onClose();
  }
  void ProcessPendingEvents() override {
    if (onYield) onYield();
  }
};

struct FixedSelection : WizardSelection {
  bool singleMode = true;
  std::string sourceMailbox;
  std::vector<FolderRow> rows;
  std::string outputFolder;
  std::vector<int> takenRows;

  bool SingleMode() override { return singleMode; }
  std::string SourceMailbox() override { return sourceMailbox; }
  int RowCount() override { return static_cast<int>(rows.size()); }
  FolderRow Row(int position) override { return rows.at(static_cast<size_t>(position - 1)); }
  void MarkRowTaken(int position) override { takenRows.push_back(position); }
  std::string OutputFolder() override { return outputFolder; }
  bool SkipExisting() override { return false; }
};

}  // namespace baleport
