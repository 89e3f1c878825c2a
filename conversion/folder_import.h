// Imports every message file of the search into the store folder that mirrors its
// source folder, with progress, Skip and Stop. Items become durable in batches; a
// source file is deleted (when asked) only after its item has been committed.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "conversion/conversion_log.h"
#include "conversion/folder_paths.h"
#include "conversion/read_ahead.h"
#include "conversion/run_context.h"
#include "files/keyed_collection.h"
#include "support/file_identity.h"

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
  int32_t alreadyThere = 0;  // recognised as already in the store, not imported again
  int32_t failed = 0;        // logged as "BAD : " (or meant to be, when the log failed)
  int32_t deleted = 0;       // source files deleted once their item was in the store
  int32_t notDeleted = 0;    // converted, but the source file was kept or could not be deleted
  std::vector<std::string> failures;  // what went wrong, one per failed message, with its path
  std::string firstNotDeleted;  // why the first source file kept was kept, with its path
  // Failed messages whose "BAD : " line could not be written, and why the log failed.
  std::vector<std::string> unlogged;
  std::string logFailure;
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
  // How far the message files are read ahead of their import.
  void SetReadAheadLimits(ReadAheadLimits limits) { readAheadLimits_ = limits; }
  const ImportTally& tally() const { return tally_; }

 private:
  // A batch can hold a quarter of a large run: the path is the search's own text, which
  // stays in place until the collection is cleared after the run.
  struct Imported {
    std::string_view path;
    bool deleteSource;
    bool alreadyThere;  // its item was committed before: the source goes, whatever the commit
    std::optional<FileIdentity> read;  // the file as it was before it was read
  };

  // One message file: imported and pending its commit, or failed and logged; read now, or
  // as it was read ahead.
  void ImportMessage(std::string_view path);
  void ImportMessage(const MessageRead& ahead);
  // `alreadyThere`: the store held the message before; the item is left unsaved. `source`:
  // what was read ahead, or null to read the file now.
  Status CreateAndFill(const std::string& path, const SourceRead* source, std::unique_ptr<RDOMail>& item,
                       bool& alreadyThere);
  // The store folder of a message file, below the store's top folder.
  FolderPieces TargetFolder(const std::string& path);
  Result<RDOFolder*> OpenTarget(const FolderPieces& target);
  void NoteFailure(const Status& failure);
  // A failed message's line in the log, or (when that cannot be written) in the tally.
  void LogFailure(const std::string& path, Status logged);
  void CommitPending();
  // After a commit or a save failed for lack of room, with sources to delete: the store
  // drops what it has not committed (the batch, and whatever the failed save left), and the
  // batch is imported again one message per commit, each source deleted (making room)
  // before the next, as every message after it. False when the store cannot drop it.
  bool DropAndRedoOneByOne();
  // After its item is durable: the source file deleted, or kept with the reason.
  void DeleteSource(const Imported& message);
  // The Skip and Stop questions after an entry; kCompleted when the loop goes on.
  ImportEnd AnswerRequests();
  void ShowProgress(int32_t number, int32_t count);

  RunContext& run_;
  RDOStore& store_;
  StoreLibrary& library_;
  ConversionLog& log_;
  RunRequests& requests_;
  const int32_t commitEvery_;
  ReadAheadLimits readAheadLimits_;
  // The source folder with its links resolved: nothing outside it is deleted. Empty when
  // it cannot be resolved.
  std::string realSourceRoot_;
  Result<std::unique_ptr<MAPIUtils>> utils_;
  std::vector<Imported> pending_;
  bool oneByOne_ = false;  // the disk ran out of room: each message is committed on its own
  bool retrying_ = false;  // a message is being imported again after room was made
  ImportTally tally_;
  std::string progressCaption_;
  // The store folder the last message went to, kept for the messages beside it.
  FolderPieces targetPieces_;
  std::unique_ptr<RDOFolder> targetFolder_;
};

}  // namespace baleport
