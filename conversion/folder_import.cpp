#include "conversion/folder_import.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "conversion/folder_mirror.h"
#include "conversion/folder_paths.h"
#include "conversion/read_ahead.h"
#include "files/file_attributes.h"
#include "files/file_functions.h"
#include "mapi/tags.h"
#include "support/ascii_case.h"
#include "support/path_parts.h"
#include "support/env.h"
#include "support/path_separator.h"

namespace baleport {
namespace {

constexpr char kSkipQuestion[] = "Do you really want to \"Skip\" conversion of this folder ?";
constexpr char kStopQuestion[] =
    "Do you really want to \"STOP\" on-going conversion ?\r\nThis action will STOP complete conversion process.";

// A disk too full for the store: deleting the sources of what is committed makes room.
bool IsOutOfRoom(const Status& failure) { return failure.code() == StatusCode::kNoSpace; }

MessageAnswer Ask(PageControls& controls, const std::string& title, const std::string& text) {
  return controls.ShowMessage({text, title, MessageIcon::kNone, MessageButtons::kYesNo, ""});
}

}  // namespace

bool IsMessageFileName(std::string_view path) {
  const size_t cut = path.rfind(kPathSeparator);
  const std::string name = AsciiLowercase(cut == std::string_view::npos ? path : path.substr(cut + 1));
  return name.ends_with(".msg") || name == "msg~1";
}

int32_t CountMessageFiles(const KeyedCollection& foundFiles) {
  int32_t count = 0;
  for (const std::string_view path : foundFiles) count += IsMessageFileName(path) ? 1 : 0;
  return count;
}

MessageImport::MessageImport(RunContext& run, RDOStore& store, StoreLibrary& library, ConversionLog& log,
                             RunRequests& requests, int32_t commitEvery)
    : run_(run),
      store_(store),
      library_(library),
      log_(log),
      requests_(requests),
      commitEvery_(commitEvery),
      realSourceRoot_([&run] {
        Result<std::string> real = RealPath(run.sourceRoot);
        return real.ok() ? *real : std::string();
      }()),
      utils_(library.CreateMAPIUtils()) {}

ImportEnd MessageImport::Run(const KeyedCollection& foundFiles) {
  const auto count = static_cast<int32_t>(foundFiles.Count());
  std::vector<std::string_view> messages;
  for (const std::string_view path : foundFiles) {
    if (IsMessageFileName(path)) messages.push_back(path);
  }
  // Ends with the loop, whatever ends it: what was read ahead of a Skip or Stop is dropped.
  ReadAhead ahead(library_, std::move(messages), readAheadLimits_);
  int32_t number = 1;
  for (const std::string_view path : foundFiles) {
    if (IsMessageFileName(path)) {
      ImportMessage(ahead.Take());
    }
    ShowProgress(number, count);
    ++number;
    if (const ImportEnd end = AnswerRequests(); end != ImportEnd::kCompleted) {
      CommitPending();
      targetFolder_.reset();
      return end;
    }
  }
  CommitPending();
  targetFolder_.reset();  // no store object outlives the run's session
  return ImportEnd::kCompleted;
}

FolderPieces MessageImport::TargetFolder(const std::string& path) {
  FolderPieces d = RelativePieces(FolderOfPath(path), run_.sourceRoot);
  // A "!" ends the path there: its folder is never created (see CreateFolders), and the
  // message goes to the folder named by what comes before the mark.
  for (size_t i = 0; i < d.size(); ++i) {
    const size_t mark = d[i].find('!');
    if (mark == std::string::npos) continue;
    run_.Yield();
    d[i].erase(mark);
    d.resize(i + 1);
    d.emplace_back();
    d.front().erase(0, d.front().find_first_not_of(' '));
    break;
  }
  d = MapDefaultFolders(std::move(d), run_.inboxName, run_.sentName);
  if (d.size() > 1 && d.front().empty()) d.erase(d.begin());
  return d;
}

Result<RDOFolder*> MessageImport::OpenTarget(const FolderPieces& target) {
  // Messages come folder by folder: the folder of the previous one is most often the one.
  if (targetFolder_ == nullptr || target != targetPieces_) {
    targetFolder_.reset();
    Result<std::unique_ptr<RDOFolder>> folder = OpenStoreFolder(run_, target);
    if (!folder.ok()) return folder.status();
    targetFolder_ = std::move(*folder);
    targetPieces_ = target;
  }
  return targetFolder_.get();
}

Status MessageImport::CreateAndFill(const std::string& path, const SourceRead* source, std::unique_ptr<RDOMail>& item,
                                    bool& alreadyThere) {
  const FolderPieces target = TargetFolder(path);
  const std::string shown = "\\\\" + run_.storeDisplayName + "\\" + JoinPieces(target);
  Result<RDOFolder*> folder = OpenTarget(target);
  if (!folder.ok()) return folder.status().WithContext("looking up " + shown);
  Result<std::unique_ptr<RDOMail>> added = (*folder)->Items().Add(kItemKindMail);
  if (!added.ok()) return added.status().WithContext("adding an item to " + shown);
  item = std::move(*added);

  run_.Yield();
  const Status imported = source != nullptr ? item->Import(path, *source) : item->Import(path, kImportFormatMsg);
  BALEPORT_RETURN_IF_ERROR(imported.WithContext("importing " + path));
  // A run after one that was killed, or whose sources were not all deleted, finds items it
  // made before: with the sources deleted as asked, or without duplicates as asked.
  if (run_.skipExisting || run_.controls.DeleteSourceValue() == 1) {
    Result<bool> there = item->AlreadyInStore();
    if (!there.ok()) return there.status().WithContext("looking for " + path + " in the store");
    alreadyThere = *there;
    if (alreadyThere) return Status::Ok();
  }
  if (!utils_.ok()) return utils_.status().WithContext("setting the flags of " + path);
  BALEPORT_RETURN_IF_ERROR((*utils_)
                               ->HrSetOneProp(item->MAPIOBJECT(), mapi::tags::kMessageFlags, kMessageFlagRead, true)
                               .WithContext("setting the flags of " + path));
  run_.Yield();
  return item->Save().WithContext("saving the item of " + path);
}

void MessageImport::ImportMessage(std::string_view pathText) {
  // Taken before the file is read: a file replaced later, even during the read, differs.
  ImportMessage(MessageRead{pathText, IdentifyFile(std::string(pathText)), nullptr});
}

void MessageImport::ImportMessage(const MessageRead& ahead) {
  const std::string_view pathText = ahead.path;
  const std::string path(pathText);
  run_.Yield();
  run_.controls.SetCaption(CaptionControl::LblCurrentDBX, "Converting Messages... from (" + path + ")");

  const Result<FileIdentity>& read = ahead.identity;
  std::unique_ptr<RDOMail> item;
  bool alreadyThere = false;
  Status outcome = CreateAndFill(path, ahead.source.get(), item, alreadyThere);
  // A disk too full for the store: deleting the sources of what is committed makes room.
  if (!outcome.ok() && IsOutOfRoom(outcome) && run_.controls.DeleteSourceValue() == 1 && !retrying_) {
    // The messages pending go in first, their sources deleted; then this one may fit.
    item.reset();  // before the store it belongs to is dropped
    const bool sourcesToDelete = !pending_.empty();
    if (DropAndRedoOneByOne() && sourcesToDelete) {
      retrying_ = true;
      ImportMessage(ahead);
      retrying_ = false;
      return;
    }
  }
  // A log that can no longer take a line (removed, replaced, unopenable) fails the message.
  const Status logWritable = log_.CheckWritable();
  if (outcome.ok() && !logWritable.ok()) outcome = logWritable;

  if (outcome.ok()) {
    const bool deleteSource = run_.controls.DeleteSourceValue() == 1;
    if (deleteSource) run_.Yield();
    std::optional<FileIdentity> identity;
    if (read.ok()) identity = *read;
    pending_.push_back({pathText, deleteSource, alreadyThere, identity});
    if (alreadyThere) (void)item->Delete();  // unsaved: nothing of it reaches the store
  } else {
    if (item != nullptr) {
      if (Status removed = item->Delete(); !removed.ok()) {
        outcome = Status::Error(outcome.code(), outcome.message() + "; removing its item: " + removed.message());
      }
    }
    run_.Yield();
    ++tally_.failed;
    NoteFailure(outcome);
    LogFailure(path, logWritable.ok() ? log_.RecordFailure(path) : logWritable);
  }
  item.reset();
  run_.controls.SetButtonEnabled(ButtonControl::CmdStartConversion, false);
  // A commit rewrites the tables of the folders it touches, so its cost grows with the store:
  // batches grow with what was converted to keep commits a bounded share of a long run.
  // After the disk ran out of room, every message is committed on its own.
  const int32_t batch = oneByOne_ ? 1 : std::max(commitEvery_, tally_.converted / 4);
  if (static_cast<int32_t>(pending_.size()) >= batch) CommitPending();
}

void MessageImport::NoteFailure(const Status& failure) {
  tally_.failures.push_back(failure.message());
}

void MessageImport::LogFailure(const std::string& path, Status logged) {
  if (logged.ok()) return;
  tally_.unlogged.push_back(path);
  if (tally_.logFailure.empty()) tally_.logFailure = logged.message();
}

void MessageImport::CommitPending() {
  if (pending_.empty()) return;
  const Status committed = store_.Commit();
  if (!committed.ok() && IsOutOfRoom(committed) && pending_.front().deleteSource) {
    const auto fresh = std::count_if(pending_.begin(), pending_.end(), [](const Imported& m) { return !m.alreadyThere; });
    if (fresh > 1 && DropAndRedoOneByOne()) return;
    // A single message that does not fit fails; the store forgets it, so that the next
    // commit does not carry it again.
    if (store_.DropUncommitted().ok()) {
      targetFolder_.reset();
      oneByOne_ = true;
    }
  }
  for (const Imported& message : pending_) {
    if (message.alreadyThere) {
      ++tally_.alreadyThere;
      DeleteSource(message);
      continue;
    }
    if (!committed.ok()) {
      // Not durable: it counts as failed and its source file stays.
      const std::string path(message.path);
      ++tally_.failed;
      NoteFailure(committed.WithContext("committing " + path));
      LogFailure(path, log_.RecordFailure(path));
      continue;
    }
    ++tally_.converted;
    DeleteSource(message);
  }
  pending_.clear();
}

bool MessageImport::DropAndRedoOneByOne() {
  if (!store_.DropUncommitted().ok()) return false;
  targetFolder_.reset();
  oneByOne_ = true;
  const std::vector<Imported> batch = std::move(pending_);
  pending_.clear();
  for (const Imported& message : batch) {
    if (message.alreadyThere) {
      ++tally_.alreadyThere;
      DeleteSource(message);
    } else {
      ImportMessage(message.path);  // committed on its own, its source deleted
    }
  }
  return true;
}

void MessageImport::DeleteSource(const Imported& message) {
  const std::string path(message.path);
  if (!message.deleteSource || !FileExists(path)) return;
  std::string kept;
  if (realSourceRoot_.empty() || !RealPathIsInside(path, realSourceRoot_)) {
    kept = "kept: it lies outside " + run_.sourceRoot + " once links are followed";
  } else if (Result<FileIdentity> now = IdentifyFile(path); !message.read || !now.ok() || *now != *message.read) {
    kept = "kept: it changed after it was read, and the change was not converted";
  } else if (const int32_t error = RemoveFile(path); error != 0) {
    kept = "could not be deleted: " + FileErrorText(error);
  }
  if (kept.empty()) {
    ++tally_.deleted;
    return;
  }
  ++tally_.notDeleted;
  if (tally_.firstNotDeleted.empty()) tally_.firstNotDeleted = path + ": " + kept;
}

void MessageImport::ShowProgress(int32_t number, int32_t count) {
  run_.controls.SetCaption(
      CaptionControl::FrameConversion,
      "Reading Messages && Email Metadata - (" + std::to_string(number) + " of " + std::to_string(count) + ") File(s)");
  const auto value = static_cast<float>(static_cast<double>(number) / static_cast<double>(count) * 100.0);
  run_.controls.SetProgressValue(value);
  // Nearest whole number, halves to the even neighbour (the default rounding mode).
  progressCaption_ = std::to_string(static_cast<int>(std::nearbyint(value))) + "% Complete";
  run_.controls.SetCaption(CaptionControl::lblProgress, progressCaption_);
}

ImportEnd MessageImport::AnswerRequests() {
  if (requests_.pageClosed) return ImportEnd::kPageClosed;
  if (requests_.skip) {
    if (Ask(run_.controls, "Confirm Skip", kSkipQuestion) == MessageAnswer::kYes) {
      run_.Yield();
      run_.controls.SetCaption(CaptionControl::lblProgress, "Skipped... at " + progressCaption_);
      run_.controls.SetCaption(CaptionControl::lblCount1, "Checking Next Folder...");
      return ImportEnd::kSkipped;
    }
    requests_.skip = false;
  }
  if (requests_.stop) {
    if (Ask(run_.controls, "Confirm Stop", kStopQuestion) == MessageAnswer::kYes) {
      run_.Yield();
      run_.controls.SetCaption(CaptionControl::lblProgress, "Stopped... at " + progressCaption_);
      run_.controls.SetCaption(CaptionControl::lblCount1, "Stopped...");
      return ImportEnd::kStopped;
    }
    requests_.stop = false;
  }
  return ImportEnd::kCompleted;
}

}  // namespace baleport
