// What a conversion run did, folder by folder, and the completion message built from it:
// the success texts only when every message of every folder was converted.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace baleport {

enum class FolderOutcome {
  kConverted,      // every message file was handled (some may have failed)
  kNoMessages,     // the search found no message file
  kSearchFailed,   // the search could not complete
  kNoStoreChosen,  // the save dialog was cancelled
  kLogFailed,      // the log could not be started; no store was opened
  kStoreError,     // the session or the store could not be opened (the "Outlook Error")
  kSkipped,
  kStopped,
  kPageClosed,  // the user closed the page; ended after the current message
};

struct FolderReport {
  std::string path;  // the source folder
  std::string storePath;
  std::string logPath;  // empty when no log was started
  FolderOutcome outcome = FolderOutcome::kNoMessages;
  std::string reason;  // what failed: the error outcomes, or closing the store
  int32_t found = 0;   // message files the search found (see IsMessageFileName)
  int32_t converted = 0;
  int32_t alreadyThere = 0;  // found in the store from an earlier run, not imported again
  int32_t failed = 0;
  int32_t deleted = 0;     // source files deleted, their items in the store
  int32_t notDeleted = 0;  // in the store, but the source file was kept or could not be deleted
  std::vector<std::string> failures;  // why each failed message failed, with its path
  std::string firstNotDeleted;  // the first source file kept, and why
  // Failed messages the log could not list, and why it could not.
  std::vector<std::string> unlogged;
  std::string logFailure;
  // Folders of the tree the search could not read, described with their error; their
  // messages were never seen, so the folder is not converted in full.
  std::vector<std::string> unreadable;
  double seconds = 0;  // from the search's start to the store's close
};

struct RunReport {
  bool singleMode = true;
  std::vector<FolderReport> folders;

  // Every message in the store (at least one, converted now or found there), none failed,
  // every source asked to go deleted, every folder of every tree read, and no
  // folder ended early or in error.
  bool AllConverted() const;
};

// The text of the completion box ("\r\n" between lines).
std::string CompletionText(const RunReport& report);

}  // namespace baleport
