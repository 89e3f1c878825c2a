// What the conversion page reads from the wizard's other pages: the mode, the single
// source folder, the folder rows of the multiple-folder page and the output folder.
// Read at the moment the run needs them, as the pages show them then.
#pragma once

#include <string>

namespace baleport {

struct FolderRow {
  bool checked = false;
  std::string name;  // the row's text: the folder's own name
  std::string path;  // the row's first sub-item: the folder's full path
};

class WizardSelection {
 public:
  virtual ~WizardSelection() = default;

  // frmStart.OptSingle is selected.
  virtual bool SingleMode() = 0;
  // frmSingle.txtSourceMailbox.
  virtual std::string SourceMailbox() = 0;

  // frmMultiple.lv: the number of rows, and row `position` (1-based).
  virtual int RowCount() = 0;
  virtual FolderRow Row(int position) = 0;
  // Draws row `position` in green (0, 128, 0) and ghosted: its store was written.
  virtual void MarkRowTaken(int position) = 0;
  // frmMultiple.txtOutputFolder.
  virtual std::string OutputFolder() = 0;
  // The save step's "Skip messages already in the store": a message whose item the store
  // already holds is not imported again.
  virtual bool SkipExisting() = 0;
};

}  // namespace baleport
