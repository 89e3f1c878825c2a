// While Stop can be clicked, the conversion page's close box is Stop: the same question, and
// the run closes the page once it has stopped (Stop with a skip pending closes it at once).
// The views say only whether Stop can be clicked and close their window when told to.
#pragma once

#include "conversion/conversion_page.h"

namespace baleport {

class CloseAsStop {
 public:
  // A new run: no close is under way.
  void Reset() { closed_by_run_ = false; }
  // The user's close: whether the window may close now.
  bool Unload(ConversionPage& logic, bool stop_clickable) {
    if (!closed_by_run_ && stop_clickable) {
      in_close_box_ = true;
      logic.CmdStopMigration_Click();
      in_close_box_ = false;
      if (!closed_by_run_) return false;
    }
    closed_by_run_ = false;
    logic.Form_QueryUnload();
    return true;
  }
  // The run asks for the close: whether the view must close its window (not while the
  // user's close, handed to Stop, is still under way: that close goes on by itself).
  bool RunCloses() {
    closed_by_run_ = true;
    return !in_close_box_;
  }

 private:
  bool closed_by_run_ = false;  // the run has asked for the close now being handled
  bool in_close_box_ = false;   // the user's close is being handed to Stop
};

}  // namespace baleport
