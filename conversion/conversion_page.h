// The logic of the conversion page frmMigateAll, free of any window toolkit: its event
// handlers, the start command that queues one folder or every checked folder, and
// StartMigration, the conversion of one source folder into one store. A front end
// forwards the page's events here and implements PageControls over its widgets.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "conversion/folder_import.h"
#include "conversion/page_controls.h"
#include "conversion/run_report.h"
#include "conversion/run_stamp.h"
#include "conversion/store/store_interface.h"
#include "conversion/wizard_selection.h"
#include "files/file_search.h"

namespace baleport {

// Fixed when the program is built.
extern const char kDefaultDowngradeGuideAddress[];

struct ConversionOptions {
  std::string downgradeGuideAddress = kDefaultDowngradeGuideAddress;
  // Successful imports between two commits of the store, at least (batches grow with the
  // run, see MessageImport). A larger batch is faster; a crash loses at most one batch of
  // items, whose source files are still in place.
  int32_t commitEvery = 256;
  std::function<std::tm()> localTime = LocalTimeNow;
};

class ConversionPage {
 public:
  ConversionPage(PageControls& controls, WizardSelection& selection, StoreLibrary& library,
                 ConversionOptions options = {});

  // The page is (re)loaded and shown: initial captions, no requests, ChkDelete unchecked.
  void Form_Load();
  // "Sta&rt Conversion": runs to its end inside the call, yielding often; ends with the
  // completion box.
  void CmdStartConversion_Click();
  // "X": asks the running import to skip the current folder (it confirms first).
  void CmdSkip_Click();
  // "S&top Conversion": asks the run to stop (it confirms first); with a Skip request
  // pending, closes the page at once.
  void CmdStopMigration_Click();
  // The page window is closing. Closed by the user during a run, the run ends after the
  // current message, which is committed.
  void Form_QueryUnload();

  // Converts the folder whose search results are in FoundFiles and FoundFolders.
  FolderReport StartMigration(const std::string& sFolderName, const std::string& sFolderPath);

  // The report of the last start command.
  const RunReport& lastRun() const { return lastRun_; }

 private:
  struct OpenStore;

  void RunSingle(RunReport& report);
  void RunMultiple(RunReport& report);
  // Searches `folderPath` and, when it holds message files, converts it.
  FolderReport SearchAndConvert(const std::string& name, const std::string& folderPath,
                                const std::string& queuedCaptionStart, const std::string& windowCaption,
                                bool singleMode);
  Result<OpenStore> OpenTheStore(const std::string& storePath, const std::string& displayName);
  void ShowStoreError(const std::string& reason);
  void ClosePageByRun();
  void Yield() { controls_.ProcessPendingEvents(); }

  PageControls& controls_;
  WizardSelection& selection_;
  StoreLibrary& library_;
  ConversionOptions options_;
  RunRequests requests_;
  bool pageOpen_ = false;  // loaded and not closed since
  bool closingByRun_ = false;
  int32_t folderCounter_ = 1;  // numbers the keys of FoundFolders; never reset
  // The folders of the last search that could not be read, beside FoundFolders.
  std::vector<UnreadableFolder> unreadable_;
  RunReport lastRun_;
};

}  // namespace baleport
