#include "conversion/conversion_page.h"

#include <chrono>
#include <memory>
#include <utility>

#include "conversion/conversion_log.h"
#include "conversion/folder_mirror.h"
#include "conversion/folder_paths.h"
#include "files/file_search.h"
#include "support/path_parts.h"
#include "support/path_separator.h"

namespace baleport {

const char kDefaultDowngradeGuideAddress[] = BALEPORT_DOWNGRADE_GUIDE_ADDRESS;
namespace {

constexpr char kApplicationTitle[] = "Tamsel Baleport";
constexpr char kStoreFilter[] = "Outlook Data File(s) (*.pst)|*.pst";

// The search's view of the page: the delete check box and the queue label.
class PageSearchProgress : public SearchProgress {
 public:
  explicit PageSearchProgress(PageControls& controls) : controls_(controls) {}
  int DeleteCheckValue() override { return controls_.DeleteSourceValue(); }
  void SetQueueCaption(const std::string& caption) override {
    controls_.SetCaption(CaptionControl::lblCount1, caption);
  }

 private:
  PageControls& controls_;
};

FolderOutcome OutcomeOf(ImportEnd end) {
  switch (end) {
    case ImportEnd::kCompleted:
      return FolderOutcome::kConverted;
    case ImportEnd::kSkipped:
      return FolderOutcome::kSkipped;
    case ImportEnd::kStopped:
      return FolderOutcome::kStopped;
    case ImportEnd::kPageClosed:
      return FolderOutcome::kPageClosed;
  }
  return FolderOutcome::kConverted;
}

Result<std::string> DefaultFolderName(RDOSession& session, const std::string& entryId, int16_t which, const char* what,
                                      const std::string& storePath) {
  Result<std::unique_ptr<RDOStore>> store = session.GetStoreFromID(entryId);
  if (!store.ok()) return store.status().WithContext("finding the store " + storePath + " again");
  Result<std::unique_ptr<RDOFolder>> folder = (*store)->GetDefaultFolder(which);
  if (!folder.ok()) return folder.status().WithContext(std::string("finding the ") + what + " of " + storePath);
  return (*folder)->Name();
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

struct ConversionPage::OpenStore {
  std::unique_ptr<RDOSession> session;
  std::unique_ptr<RDOStore> store;
  std::string entryId;
  std::string inboxName;
  std::string sentName;
};

ConversionPage::ConversionPage(PageControls& controls, WizardSelection& selection, StoreLibrary& library,
                               ConversionOptions options)
    : controls_(controls), selection_(selection), library_(library), options_(std::move(options)) {}

void ConversionPage::Form_Load() {
  pageOpen_ = true;
  FoundFiles.Clear();
  FoundFolders.Clear();
  requests_ = {};
  controls_.SetProgressValue(0);
  controls_.SetCaption(CaptionControl::lblProgress, "0% Complete");
  controls_.SetCaption(CaptionControl::lblCount1, "Conversion Not Started Yet...");
  controls_.SetCaption(CaptionControl::LblCurrentDBX, "Converting Messages...");
  controls_.SetCaption(CaptionControl::FrameConversion, " Details ");
  controls_.SetButtonEnabled(ButtonControl::CmdSkip, false);
  controls_.SetDeleteSourceValue(0);
}

void ConversionPage::CmdSkip_Click() { requests_.skip = true; }

void ConversionPage::CmdStopMigration_Click() {
  if (requests_.skip) {
    requests_.pageClosed = true;
    ClosePageByRun();
  }
  requests_.stop = true;
}

void ConversionPage::Form_QueryUnload() {
  pageOpen_ = false;
  if (!closingByRun_) requests_.pageClosed = true;
}

void ConversionPage::ClosePageByRun() {
  if (!pageOpen_) return;
  pageOpen_ = false;
  closingByRun_ = true;
  controls_.ClosePage();
  closingByRun_ = false;
}

void ConversionPage::CmdStartConversion_Click() {
  requests_.stop = false;
  requests_.pageClosed = false;
  RunReport report;
  report.singleMode = selection_.SingleMode();
  if (report.singleMode) {
    RunSingle(report);
  } else {
    RunMultiple(report);
  }
  lastRun_ = report;

  controls_.ShowMessage(
      {CompletionText(report), kApplicationTitle, MessageIcon::kInformation, MessageButtons::kOk, ""});
  if (requests_.stop) ClosePageByRun();
  controls_.SetButtonEnabled(ButtonControl::CmdSkip, false);
  controls_.SetButtonEnabled(ButtonControl::CmdStopMigration, false);
  controls_.SetButtonVisible(ButtonControl::CmdStopMigration, false);
}

void ConversionPage::RunSingle(RunReport& report) {
  Yield();
  if (requests_.stop || requests_.pageClosed) return;
  const std::string source = WithSystemSeparators(selection_.SourceMailbox());
  const std::string name = source.empty() ? "" : FileNameOfPath(source);
  const auto started = std::chrono::steady_clock::now();
  report.folders.push_back(SearchAndConvert(name, source, "Migrating ", "Conversion Status", true));
  report.folders.back().seconds = SecondsSince(started);
}

void ConversionPage::RunMultiple(RunReport& report) {
  const int rows = selection_.RowCount();
  for (int i = 1; i <= rows; ++i) {
    Yield();
    const FolderRow row = selection_.Row(i);
    if (!row.checked) continue;
    Yield();
    if (requests_.stop || requests_.pageClosed) break;
    const std::string caption = "Converting " + std::to_string(i) + " of " + std::to_string(rows) + " Folders";
    const auto started = std::chrono::steady_clock::now();
    report.folders.push_back(
        SearchAndConvert(row.name, WithSystemSeparators(row.path), "Converting ", caption, false));
    report.folders.back().seconds = SecondsSince(started);
    // A started log and an opened store: the store holds the folder's items.
    const FolderReport& folder = report.folders.back();
    if (!folder.logPath.empty() && folder.outcome != FolderOutcome::kStoreError) selection_.MarkRowTaken(i);
    if (folder.outcome == FolderOutcome::kPageClosed) break;
  }
}

FolderReport ConversionPage::SearchAndConvert(const std::string& name, const std::string& folderPath,
                                              const std::string& queuedCaptionStart, const std::string& windowCaption,
                                              bool singleMode) {
  FolderReport report;
  report.path = folderPath;
  controls_.SetButtonEnabled(ButtonControl::CmdStartConversion, false);
  controls_.SetButtonEnabled(ButtonControl::CmdSkip, false);
  if (TrimBlanks(folderPath).empty()) {
    // An empty path would make the search start at the file-system root.
    report.outcome = FolderOutcome::kSearchFailed;
    report.reason = "no source folder was given";
    return report;
  }

  std::string searchFolder = folderPath;
  FoundFiles.Clear();
  FoundFolders.Clear();
  unreadable_.clear();
  int32_t fileCounter = 1;
  Yield();
  PageSearchProgress progress(controls_);
  const Status searched =
      FindFilesRecursive(searchFolder, "*.msg", fileCounter, folderCounter_, progress, unreadable_);
  const int32_t messageCount = fileCounter - 1;
  Yield();
  controls_.SetCaption(CaptionControl::lblCount1, queuedCaptionStart + std::to_string(messageCount) + " items from " +
                                                      (singleMode ? searchFolder : folderPath));
  report.found = CountMessageFiles(FoundFiles);
  for (const UnreadableFolder& folder : unreadable_) report.unreadable.push_back(folder.Describe());
  if (!searched.ok()) {
    report.outcome = FolderOutcome::kSearchFailed;
    report.reason = searched.WithContext("searching " + folderPath).message();
    return report;
  }
  if (messageCount == 0) return report;  // kNoMessages
  if (requests_.pageClosed) {
    report.outcome = FolderOutcome::kPageClosed;
    return report;
  }

  requests_.skip = false;
  requests_.stop = false;
  controls_.SetCaption(CaptionControl::frmMigateAll, windowCaption);
  return StartMigration(name, folderPath);
}

Result<ConversionPage::OpenStore> ConversionPage::OpenTheStore(const std::string& storePath,
                                                               const std::string& displayName) {
  OpenStore open;
  Result<std::unique_ptr<RDOSession>> session = library_.CreateSession();
  if (!session.ok()) return session.status().WithContext("creating the message-store session");
  open.session = std::move(*session);
  controls_.SetCaption(CaptionControl::LblCurrentDBX, "Outlook Session Created...");
  controls_.SetButtonEnabled(ButtonControl::CmdStartConversion, false);

  Status failure;
  if (Result<std::unique_ptr<RDOStore>> store =
          open.session->LogonPstStore(storePath, kStoreFormatDefault, displayName);
      store.ok()) {
    open.store = std::move(*store);
    open.entryId = open.store->EntryID();
    failure = open.store->ValidateIPMTree().WithContext("creating the standard folders of " + storePath);
  } else {
    failure = store.status().WithContext("opening the store " + storePath);
  }
  if (failure.ok()) {
    Result<std::string> inbox = DefaultFolderName(*open.session, open.entryId, kDefaultFolderInbox, "Inbox", storePath);
    Result<std::string> sent =
        inbox.ok() ? DefaultFolderName(*open.session, open.entryId, kDefaultFolderSentMail, "Sent Items", storePath)
                   : inbox;
    failure = sent.status();
    if (failure.ok()) {
      open.inboxName = std::move(*inbox);
      open.sentName = std::move(*sent);
      return open;
    }
  }
  open.store.reset();
  if (Status loggedOff = open.session->Logoff(); !loggedOff.ok()) {
    failure = Status::Error(failure.code(), failure.message() + "; then logging off: " + loggedOff.message());
  }
  return failure;
}

void ConversionPage::ShowStoreError(const std::string& reason) {
  const std::string text =
      "Outlook Session Creation Error !\r\n"
      "Check if Outlook is installed and configured.\r\n"
      "If Outlook 2013/2010 (64 Bit) is installed, then please try to re-install it as "
      "Outlook 2013/2010 (32 Bit).\r\n"
      "Here are steps to downgrade Outlook 2013/2010 to 32 Bit from 64 Bit Edition.\r\n" +
      options_.downgradeGuideAddress;
  controls_.ShowMessage({text, "Outlook Error", MessageIcon::kInformation, MessageButtons::kOk, reason});
}

FolderReport ConversionPage::StartMigration(const std::string& sFolderName, const std::string& sFolderPath) {
  FolderReport report;
  report.path = sFolderPath;
  report.found = CountMessageFiles(FoundFiles);
  const std::string stamp = FormatRunStamp(options_.localTime());

  std::string storePath;
  if (selection_.SingleMode()) {
    const std::optional<std::string> chosen =
        controls_.ShowSaveDialog({kStoreFilter, sFolderName + stamp + ".pst", ""});
    if (chosen) storePath = TrimBlanks(*chosen);
  } else {
    std::string folder = WithSystemSeparators(TrimBlanks(selection_.OutputFolder()));
    if (!folder.ends_with(kPathSeparator)) folder += kPathSeparator;
    storePath = folder + sFolderName + ".pst";
  }
  if (storePath.empty()) {
    ClosePageByRun();
    report.outcome = FolderOutcome::kNoStoreChosen;
    return report;
  }
  report.storePath = storePath;

  Yield();
  controls_.SetProgressRange(0, 100);
  controls_.SetButtonVisible(ButtonControl::CmdStopMigration, true);
  controls_.SetButtonEnabled(ButtonControl::CmdStopMigration, true);
  controls_.SetButtonEnabled(ButtonControl::CmdSkip, true);

  // The log is reserved first and started only once the store is open: a run that is
  // refused (a store another run is writing, one that is not a Unicode store) leaves the
  // log beside it as it was.
  ConversionLog log(LogPathFor(storePath));
  Yield();
  const Status logReserved = log.Reserve();
  Yield();
  if (!logReserved.ok()) {
    ClosePageByRun();
    report.outcome = FolderOutcome::kLogFailed;
    report.reason = logReserved.message();
    return report;
  }

  const std::string displayName = sFolderName + " : Created - " + stamp;
  Result<OpenStore> open = OpenTheStore(storePath, displayName);
  if (!open.ok()) {
    log.Release();
    ShowStoreError(open.status().message());
    report.outcome = FolderOutcome::kStoreError;
    report.reason = open.status().message();
    return report;
  }
  if (const Status logStarted = log.Start(); !logStarted.ok()) {
    open->store.reset();
    (void)open->session->Logoff();  // nothing was saved in it
    ClosePageByRun();
    report.outcome = FolderOutcome::kLogFailed;
    report.reason = logStarted.message();
    return report;
  }
  report.logPath = log.path();
  for (const UnreadableFolder& folder : unreadable_) {
    report.unreadable.push_back(folder.Describe());
    if (Status logged = log.RecordUnreadableFolder(folder.path, folder.Reason()); !logged.ok()) {
      report.unreadable.back() += " (" + logged.message() + ")";
    }
  }

  RunContext run{controls_,      *open->session, open->entryId, displayName, open->inboxName,
                 open->sentName, sFolderPath,    selection_.SkipExisting()};
  controls_.SetCaption(CaptionControl::LblCurrentDBX, "Reading Folder(s)...");
  const std::vector<FolderPieces> folderList = BuildFolderList(run, FoundFolders);
  controls_.SetCaption(CaptionControl::LblCurrentDBX, "Creating Outlook Folders...");
  CreateFolders(run, folderList);
  // The folders are made durable before any message: should a batch have to be dropped
  // (a full disk), its messages still find their folders. A failure here shows again at
  // the first commit of messages, which carries the folders too.
  (void)open->store->Commit();

  MessageImport import(run, *open->store, library_, log, requests_, options_.commitEvery);
  const ImportEnd end = import.Run(FoundFiles);
  report.outcome = OutcomeOf(end);
  const ImportTally& tally = import.tally();
  report.converted = tally.converted;
  report.alreadyThere = tally.alreadyThere;
  report.failed = tally.failed;
  report.deleted = tally.deleted;
  report.notDeleted = tally.notDeleted;
  report.failures = tally.failures;
  report.firstNotDeleted = tally.firstNotDeleted;
  report.unlogged = tally.unlogged;
  report.logFailure = tally.logFailure;

  if (end == ImportEnd::kStopped) ClosePageByRun();
  FoundFiles.Clear();
  FoundFolders.Clear();
  unreadable_.clear();
  Yield();
  open->store.reset();
  if (Status loggedOff = open->session->Logoff(); !loggedOff.ok()) {
    report.reason = loggedOff.WithContext("closing the store " + storePath).message();
  }
  // A stopped run leaves Start disabled: the page has been closed.
  if (end != ImportEnd::kStopped) controls_.SetButtonEnabled(ButtonControl::CmdStartConversion, true);
  return report;
}

}  // namespace baleport
