// Imports every message file of the search into the store folder that mirrors its
// source folder, with progress, Skip and Stop. Items become durable in batches; a
// source file is deleted (when asked) only after its item has been committed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/conversion_log.h"
#include "conversion/folder_paths.h"
#include "conversion/run_context.h"
#include "files/keyed_collection.h"

namespace baleport {

// The page's requests, set by its click handlers while the run yields.
struct RunRequests {
  bool skip = false;
  bool stop = false;
  bool pageClosed = false;  // the user closed the page: end after the current message
};

enum class ImportEnd { kCompleted, kSkipped, kStopped, kPageClosed };

struct ImportTally {
  int32_t converted = 0;     // committed to the store
  int32_t failed = 0;        // logged as "BAD : " (or meant to be, when the log failed)
  int32_t notDeleted = 0;    // converted, but the source file could not be deleted
  std::string firstFailure;  // what went wrong first, with the message's path
};

// The entries of the search that are imported: names ending in ".msg" in any case (the
// pattern "*.msg" can also deliver names such as "x.msgx" through their short forms), and
// the short name "msg~1".
bool IsMessageFileName(std::string_view path);
int32_t CountMessageFiles(const KeyedCollection& foundFiles);

// MSGFLAG_READ: the store sets the has-attachments flag itself (see MAPIUtils).
inline constexpr int32_t kMessageFlagRead = 0x01;

class MessageImport {
 public:
  // Items are committed once `commitEvery` successful imports, and at least a quarter of
  // the number converted before, are pending, and when the loop ends.
  MessageImport(RunContext& run, RDOStore& store, StoreLibrary& library, ConversionLog& log, RunRequests& requests,
                int32_t commitEvery);

  ImportEnd Run(const KeyedCollection& foundFiles);
  const ImportTally& tally() const { return tally_; }

 private:
  // A batch can hold a quarter of a large run: the path is the search's own text, which
  // stays in place until the collection is cleared after the run.
  struct Imported {
    std::string_view path;
    bool deleteSource;
  };

  // One message file: imported and pending its commit, or failed and logged.
  void ImportMessage(std::string_view path);
  Status CreateAndFill(const std::string& path, std::unique_ptr<RDOMail>& item);
  // The store folder of a message file, below the store's top folder.
  FolderPieces TargetFolder(const std::string& path);
  Result<RDOFolder*> OpenTarget(const FolderPieces& target);
  void NoteFailure(const Status& failure);
  void CommitPending();
  // The Skip and Stop questions after an entry; kCompleted when the loop goes on.
  ImportEnd AnswerRequests();
  void ShowProgress(int32_t number, int32_t count);

  RunContext& run_;
  RDOStore& store_;
  ConversionLog& log_;
  RunRequests& requests_;
  const int32_t commitEvery_;
  Result<std::unique_ptr<MAPIUtils>> utils_;
  std::vector<Imported> pending_;
  ImportTally tally_;
  std::string progressCaption_;
  // The store folder the last message went to, kept for the messages beside it.
  FolderPieces targetPieces_;
  std::unique_ptr<RDOFolder> targetFolder_;
};

}  // namespace baleport
