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
  // Current state.
  std::map<CaptionControl, std::string> captions;
  std::map<ButtonControl, bool> enabled;
  std::map<ButtonControl, bool> visible;
  float progressValue = 0;
  int progressMinimum = 0;
  int progressMaximum = 0;
  int deleteSourceValue = 0;

  // History.
  std::vector<std::pair<CaptionControl, std::string>> captionHistory;
  std::vector<SaveDialogRequest> saveDialogs;
  std::vector<MessageBoxRequest> messages;
  int closeCount = 0;

  // Answers and reactions.
  std::optional<std::string> saveDialogAnswer;  // nullopt: the user cancels
  // Answers every Yes/No box; kYes unless set.
  std::function<MessageAnswer(const MessageBoxRequest&)> answer;
  // Runs inside every ProcessPendingEvents: clicks the test makes during the run.
  std::function<void()> onYield;
  // Runs inside ClosePage, as a window's close event would.
  std::function<void()> onClose;

  // Every caption `control` was given, in order.
  std::vector<std::string> CaptionsOf(CaptionControl control) const;

  void SetCaption(CaptionControl control, const std::string& caption) override;
  void SetProgressRange(int minimum, int maximum) override;
  void SetProgressValue(float value) override { progressValue = value; }
  void SetButtonEnabled(ButtonControl button, bool on) override { enabled[button] = on; }
  void SetButtonVisible(ButtonControl button, bool on) override { visible[button] = on; }
  int DeleteSourceValue() override { return deleteSourceValue; }
  void SetDeleteSourceValue(int value) override { deleteSourceValue = value; }
  std::optional<std::string> ShowSaveDialog(const SaveDialogRequest& request) override;
  MessageAnswer ShowMessage(const MessageBoxRequest& request) override;
  void ClosePage() override;
  void ProcessPendingEvents() override;
};

struct FixedSelection : WizardSelection {
  bool singleMode = true;
  std::string sourceMailbox;
  std::vector<FolderRow> rows;
  std::string outputFolder;
  bool skipExisting = false;
  std::vector<int> takenRows;

  bool SingleMode() override { return singleMode; }
  std::string SourceMailbox() override { return sourceMailbox; }
  int RowCount() override { return static_cast<int>(rows.size()); }
  FolderRow Row(int position) override { return rows.at(static_cast<size_t>(position - 1)); }
  void MarkRowTaken(int position) override { takenRows.push_back(position); }
  std::string OutputFolder() override { return outputFolder; }
  bool SkipExisting() override { return skipExisting; }
};

}  // namespace baleport
