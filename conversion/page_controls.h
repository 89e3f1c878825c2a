// The controls of the conversion page frmMigateAll, as the run drives them. The run and
// the page logic hold no window toolkit; a front end implements this interface over its
// widgets, and the tests over a recorder, so every front end shows the same texts.
#pragma once

#include <optional>
#include <string>

#include "support/dialog_requests.h"

namespace baleport {

// Controls with a caption. frmMigateAll is the page window itself.
enum class CaptionControl { frmMigateAll, lblCount1, lblProgress, LblCurrentDBX, FrameConversion };

enum class ButtonControl { CmdStartConversion, CmdStopMigration, CmdSkip };

class PageControls {
 public:
  virtual ~PageControls() = default;

  // Captions use the access-key convention: "&" marks the next letter as access key,
  // "&&" shows a single "&" (the frame caption "Reading Messages && Email Metadata...").
  virtual void SetCaption(CaptionControl control, const std::string& caption) = 0;

  // ProgressBar1. The bar may show the value rounded; the run never reads it back.
  virtual void SetProgressRange(int minimum, int maximum) = 0;
  virtual void SetProgressValue(float value) = 0;

  virtual void SetButtonEnabled(ButtonControl button, bool enabled) = 0;
  virtual void SetButtonVisible(ButtonControl button, bool visible) = 0;

  // ChkDelete ("Delete Source file(s), during conversion..."): 0 unchecked, 1 checked,
  // 2 grayed. Read afresh for every message, so a change during a run takes effect.
  virtual int DeleteSourceValue() = 0;
  virtual void SetDeleteSourceValue(int value) = 0;

  // cdlgFile as a save dialog: the chosen path exactly as the dialog returns it, or
  // nullopt when the user cancelled.
  virtual std::optional<std::string> ShowSaveDialog(const SaveDialogRequest& request) = 0;

  // A modal message box; the answer is the button pressed (kOk for an OK box).
  virtual MessageAnswer ShowMessage(const MessageBoxRequest& request) = 0;

  // Closes the page window; the selection page that opened it becomes active. The run
  // may go on touching controls afterwards (a front end may then ignore them). A front
  // end may pass the resulting close event on to Form_QueryUnload: the page logic tells
  // its own closes from the user's.
  virtual void ClosePage() = 0;

  // Lets the window system deliver pending events (clicks on Skip and Stop, repaints).
  // The run calls it at its yield points; handlers run inside it must only set flags.
  // The file search and the list sorting beneath the run yield through
  // support/pending_events.h instead: a front end installs the same handler there.
  virtual void ProcessPendingEvents() = 0;
};

}  // namespace baleport
