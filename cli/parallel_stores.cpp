#include "cli/parallel_stores.h"


#include <algorithm>
#include <chrono>

#include "cli/counted.h"
#include "cli/progress_bars.h"
#include "cli/progress_records.h"
#include "cli/terminal_page.h"
#include "files/file_search.h"
#include "support/child_process.h"
#include "support/pending_events.h"

namespace baleport {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr int kSomeFailed = 1;

struct FolderProgress {
  int counted = -1;  // message files this process's search found; -1: not searched
  int found = -1;    // as its conversion process tells; -1: not yet
  int done = 0;
  bool reported = false;  // its process gave its counts at the end
  int converted = 0, alreadyThere = 0, failed = 0;
};

// Only the count of the search is wanted here.
class CountingSearch final : public SearchProgress {
 public:
  int DeleteCheckValue() override { return 1; }
  void SetQueueCaption(const std::string&) override {}
};

class ParallelRun {
 public:
  ParallelRun(const std::string& program, const std::vector<StoreJob>& jobs, const std::vector<std::string>& flags,
              int slots, const ParallelDisplay& display, std::ostream& out, std::ostream& errors)
      : program_(program), jobs_(jobs), flags_(flags), slots_(slots), display_(display), out_(out), errors_(errors),
        folders_(jobs.size()) {}

  int Run() {
    CatchInterrupt();
    started_ = Clock::now();
    StartWhatFits();
    if (ShowsBar()) CountMessages();
    while (children_.running() > 0 || (next_ < jobs_.size() && !InterruptRequested())) Pump(milliseconds(100));
    if (next_ < jobs_.size()) status_ = std::max(status_, kSomeFailed);  // folders never started
    if (barShown_) {
      Draw(/*now=*/true);
      out_ << "\n";
    }
    if (!display_.quiet) out_ << Summary() << "\n";
    out_ << std::flush;
    return status_;
  }

 private:
  bool ShowsBar() const { return display_.terminal && !display_.quiet; }

  void StartWhatFits() {
    while (children_.running() < slots_ && next_ < jobs_.size() && !InterruptRequested()) {
      const StoreJob& job = jobs_[next_];
      std::vector<std::string> arguments = {"convert", job.source, "-o", job.store};
      arguments.insert(arguments.end(), flags_.begin(), flags_.end());
      if (!job.reportPart.empty()) arguments.insert(arguments.end(), {"--report-part", job.reportPart});
      arguments.push_back("--progress-records");
      Result<int> child = children_.Start(program_, arguments);
      if (child.ok()) {
        jobOfChild_.push_back(next_);
      } else {
        Print(errors_, "baleport convert: cannot start the conversion of " + job.source + ": " +
                           child.status().message());
        status_ = std::max(status_, kSomeFailed);
        ++foldersDone_;
      }
      ++next_;
    }
  }

  // Takes what the processes said within `wait`, passes a stop on, starts the next ones.
  void Pump(milliseconds wait) {
    PassOnStop();
    for (const ChildEvent& event : children_.Wait(wait)) Take(event);
    PassOnStop();
    StartWhatFits();
    lastPumped_ = Clock::now();
    if (ShowsBar()) Draw(/*now=*/false);
  }

  // Ctrl-C reaches the processes of the terminal by itself; SIGTERM reaches only this one.
  void PassOnStop() {
    if (stopping_ || !InterruptRequested()) return;
    stopping_ = true;
    Print(errors_, "Interrupted: stopping after the current message.");
    for (size_t child = 0; child < jobOfChild_.size(); ++child) children_.RequestStop(static_cast<int>(child));
  }

  void Take(const ChildEvent& event) {
    const StoreJob& job = jobs_[jobOfChild_[static_cast<size_t>(event.child)]];
    FolderProgress& folder = folders_[jobOfChild_[static_cast<size_t>(event.child)]];
    if (event.kind == ChildEvent::Kind::kError) return Print(errors_, event.line);
    if (event.kind == ChildEvent::Kind::kExited) {
      ++foldersDone_;
      if (event.exitCode < 0) Print(errors_, "baleport convert: the conversion of " + job.source + " was ended");
      status_ = std::max(status_, event.exitCode < 0 ? kSomeFailed : event.exitCode);
      return;
    }
    const std::optional<ProgressRecord> record = ParseRecord(event.line);
    if (!record) return Print(out_, event.line);  // not ours: passed on as it is
    switch (record->kind) {
      case ProgressRecord::Kind::kOutput:
        return Print(out_, record->text);
      case ProgressRecord::Kind::kProgress:
        folder.found = record->found;
        folder.done = record->done;
        return;
      case ProgressRecord::Kind::kFolder:
        folder.reported = true;
        folder.found = record->found;
        folder.converted = record->converted;
        folder.alreadyThere = record->alreadyThere;
        folder.failed = record->failed;
        folder.done = record->converted + record->alreadyThere + record->failed;
        return;
    }
  }

  // A whole line; the bar, if shown, is taken away first and redrawn at the next pump.
  void Print(std::ostream& stream, const std::string& line) {
    if (barShown_) out_ << "\r\x1b[K";
    barShown_ = false;
    out_ << std::flush;
    stream << line << "\n" << std::flush;
  }

  void Draw(bool now) {
    const Clock::time_point at = Clock::now();
    if (barShown_ && !now && at - lastDrawn_ < milliseconds(100)) return;
    lastDrawn_ = at;
    OverallProgress progress;
    progress.folders = static_cast<int>(jobs_.size());
    progress.foldersDone = foldersDone_;
    progress.allFound = true;
    for (const FolderProgress& folder : folders_) {
      const int found = folder.found >= 0 ? folder.found : folder.counted;
      progress.allFound = progress.allFound && found >= 0;
      progress.found += std::max(found, 0);
      progress.done += folder.done;
    }
    progress.seconds = std::chrono::duration<double>(at - started_).count();
    // One column spare: a line that fills the terminal would leave the cursor past its end.
    const int width = (display_.width > 0 ? display_.width : TerminalWidth()) - 1;
    out_ << "\r" << RenderOverall(progress, width) << "\x1b[K" << std::flush;
    barShown_ = true;
  }

  // The run's total for the bar: each folder searched here as its process will search it,
  // the processes kept going and drawn meanwhile (the search yields to pending events).
  void CountMessages() {
    SetPendingEventsHandler([this] {
      if (Clock::now() - lastPumped_ >= milliseconds(50)) Pump(milliseconds(0));
    });
    for (size_t i = 0; i < jobs_.size() && !InterruptRequested(); ++i) {
      if (folders_[i].found >= 0) continue;  // its process has told already
      FoundFiles.Clear();
      FoundFolders.Clear();
      std::string folder = jobs_[i].source;
      int32_t files = 1, subfolders = 1;
      std::vector<UnreadableFolder> unreadable;
      CountingSearch search;
      // A search that fails counts what it found; the folder's process says why.
      (void)FindFilesRecursive(folder, "*.msg", files, subfolders, search, unreadable);
      folders_[i].counted = files - 1;
    }
    FoundFiles.Clear();
    FoundFolders.Clear();
    SetPendingEventsHandler({});
  }

  std::string Summary() const {
    int found = 0, converted = 0, alreadyThere = 0, failed = 0, unreported = 0;
    for (const FolderProgress& folder : folders_) {
      unreported += folder.reported ? 0 : 1;
      found += folder.reported ? folder.found : 0;
      converted += folder.converted;
      alreadyThere += folder.alreadyThere;
      failed += folder.failed;
    }
    std::string line = "In all: " + Counted(static_cast<int>(folders_.size()), "folder") + ", " +
                       Counted(found, "message") + ": " + std::to_string(converted) + " converted, ";
    if (alreadyThere > 0) line += std::to_string(alreadyThere) + " already there, ";
    line += std::to_string(failed) + " failed";
    if (const int left = found - converted - alreadyThere - failed; left > 0) line += ", " + std::to_string(left) + " not converted";
    if (unreported > 0) line += "; " + Counted(unreported, "folder") + " not converted";
    return line;
  }

  const std::string& program_;
  const std::vector<StoreJob>& jobs_;
  const std::vector<std::string>& flags_;
  const int slots_;
  const ParallelDisplay display_;
  std::ostream& out_;
  std::ostream& errors_;

  ChildProcesses children_;
  std::vector<size_t> jobOfChild_;
  std::vector<FolderProgress> folders_;
  size_t next_ = 0;  // the next job to start
  int foldersDone_ = 0;
  int status_ = 0;
  bool stopping_ = false;
  bool barShown_ = false;
  Clock::time_point started_{}, lastDrawn_{}, lastPumped_{};
};

}  // namespace

int ConvertInParallel(const std::string& program, const std::vector<StoreJob>& storeJobs,
                      const std::vector<std::string>& flags, int jobs, const ParallelDisplay& display,
                      std::ostream& out, std::ostream& errors) {
  return ParallelRun(program, storeJobs, flags, jobs, display, out, errors).Run();
}

}  // namespace baleport
