#include "cli/convert_command.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/absolute_path.h"
#include "cli/parallel_stores.h"
#include "cli/progress_records.h"
#include "cli/run_summary.h"
#include "cli/store_path_check.h"
#include "cli/terminal_page.h"
#include "conversion/conversion_log.h"
#include "conversion/conversion_page.h"
#include "conversion/store/pst_store_library.h"
#include "files/file_attributes.h"
#include "files/folder_listing.h"
#include "support/env.h"
#include "support/filesystem_path.h"
#include "support/path_separator.h"
#include "support/pending_events.h"

namespace baleport {
namespace {

namespace fs = std::filesystem;

constexpr int kAllConverted = 0, kSomeFailed = 1, kBadUsage = 2;

// What the wizard's pages would hold: the mode, the source, the folder rows, the output.
class CommandLineSelection final : public WizardSelection {
 public:
  bool singleMode = true;
  std::string source;
  std::vector<FolderRow> rows;
  std::string outputFolder;
  bool skipExisting = false;

  bool SingleMode() override { return singleMode; }
  std::string SourceMailbox() override { return source; }
  int RowCount() override { return static_cast<int>(rows.size()); }
  FolderRow Row(int position) override { return rows.at(static_cast<size_t>(position - 1)); }
  void MarkRowTaken(int) override {}
  std::string OutputFolder() override { return outputFolder; }
  bool SkipExisting() override { return skipExisting; }
};

// The immediate subfolders of `root` by name, ticked when `only` is empty or names them. Listed
// through the file services, which take long paths on Windows.
Result<std::vector<FolderRow>> SubfolderRows(const std::string& root, const std::vector<std::string>& only) {
  const Result<std::vector<Subfolder>> subfolders = ListSubfolders(root);
  if (!subfolders.ok()) return subfolders.status();
  std::vector<FolderRow> rows;
  for (const Subfolder& folder : *subfolders) {
    const bool ticked = only.empty() || std::find(only.begin(), only.end(), folder.name) != only.end();
    rows.push_back({ticked, folder.name, folder.path});
  }
  for (const std::string& name : only) {
    if (std::none_of(rows.begin(), rows.end(), [&](const FolderRow& r) { return r.name == name; })) {
      return Status::Error("--only " + name + ": " + root + " has no such subfolder");
    }
  }
  return rows;
}

std::string StorePathFor(const std::string& outputFolder, const std::string& name) {
  return outputFolder + kPathSeparator + name + ".pst";
}

// Reads what a process of -j wrote of the report, and removes its file; a process that
// ended without writing it gets an entry that says so.
std::string TakeReportPart(const StoreJob& job, std::ostream& errors) {
  constexpr uint64_t kPartLimit = 64 << 20;  // a folder's entry with every failure's reason
  Env& env = *Env::Default();
  Result<std::string> part = ReadSmallFile(env, job.reportPart, kPartLimit);
  if (env.Exists(job.reportPart)) {
    if (!part.ok()) errors << "baleport convert: " << part.status().message() << "\n";
    if (Status removed = env.Remove(job.reportPart); !removed.ok()) errors << "baleport convert: " << removed.message() << "\n";
  }
  if (part.ok() && !part->empty()) return *part;
  FolderReport folder;
  folder.path = job.source;
  folder.storePath = job.store;
  folder.outcome = FolderOutcome::kStopped;
  folder.reason = "its conversion process ended without reporting";
  RunReport ended;
  ended.folders.push_back(std::move(folder));
  return FoldersJson(ended);
}

// Writes the report of --report, or of one process of -j (its folders only).
bool WriteReport(const std::string& path, const std::string& text, std::ostream& errors) {
  const Status written = ReplaceFile(*Env::Default(), path, text);
  if (written.ok()) return true;
  errors << "baleport convert: the report could not be written: " << written.message() << "\n";
  return false;
}

}  // namespace

int RunConvert(const ConvertOptions& options, std::ostream& out, std::ostream& errors) {
  auto usage = [&errors](const std::string& message) {
    errors << "baleport convert: " << message << "\n";
    return kBadUsage;
  };
  if (options.folder.empty() == options.each.empty()) return usage("give either FOLDER or --each ROOT");
  if (!options.folder.empty() && (!options.outputFolder.empty() || !options.only.empty())) {
    return usage("-d and --only go with --each");
  }
  if (!options.each.empty() && !options.storePath.empty()) {
    return usage("-o goes with FOLDER; --each writes NAME.pst into the -d folder");
  }

  CommandLineSelection selection;
  selection.skipExisting = options.skipExisting;
  const std::string currentFolder = AbsolutePath(".");
  if (!options.folder.empty()) {
    selection.source = AbsolutePath(options.folder);
    if (!FolderExists(selection.source)) return usage("no folder at " + selection.source);
    // Refused before the run, so that nothing is written: no log beside a file that is no store.
    const Status store = options.storePath.empty() ? CheckOutputFolder(currentFolder)
                                                   : CheckStorePath(AbsolutePath(options.storePath));
    if (!store.ok()) return usage(store.message());
  } else {
    selection.singleMode = false;
    const std::string root = AbsolutePath(options.each);
    if (!FolderExists(root)) return usage("no folder at " + root);
    selection.outputFolder = options.outputFolder.empty() ? currentFolder : AbsolutePath(options.outputFolder);
    if (Status folder = CheckOutputFolder(selection.outputFolder); !folder.ok()) return usage(folder.message());
    Result<std::vector<FolderRow>> rows = SubfolderRows(root, options.only);
    if (!rows.ok()) return usage(rows.status().message());
    if (rows->empty()) return usage(root + " has no subfolders to convert");
    selection.rows = std::move(*rows);
    for (const FolderRow& row : selection.rows) {
      if (!row.checked) continue;
      const std::string store = StorePathFor(selection.outputFolder, row.name);
      if (FileExists(store) || FolderExists(store)) {
        if (Status existing = CheckStorePath(store); !existing.ok()) return usage(existing.message());
      }
    }
  }
  if (!options.report.empty()) {
    const std::string folder = Utf8String(Utf8Path(AbsolutePath(options.report)).parent_path());
    if (Status writable = CheckOutputFolder(folder); !writable.ok()) return usage("--report: " + writable.message());
  }
  if (options.jobs < 1) return usage("-j needs a number of stores of 1 or more");
  if (options.jobs > 1 && selection.singleMode) return usage("-j goes with --each");
  if (options.jobs > 1) {
    std::vector<StoreJob> jobs;
    for (const FolderRow& row : selection.rows) {
      if (!row.checked) continue;
      const std::string part = options.report.empty() ? "" : options.report + "." + std::to_string(jobs.size()) + ".part";
      std::error_code ec;
      if (!part.empty()) fs::remove(Utf8Path(part), ec);  // a part left by an earlier run is not this run's
      jobs.push_back({row.path, StorePathFor(selection.outputFolder, row.name), part});
    }
    std::vector<std::string> flags;
    if (options.deleteSource) flags.push_back("--delete-source");
    if (options.quiet) flags.push_back("--quiet");
    if (options.skipExisting) flags.push_back("--skip-existing");
    ParallelDisplay display;
    display.terminal = options.terminal;
    display.quiet = options.quiet;
    const int status = ConvertInParallel(options.program, jobs, flags, options.jobs, display, out, errors);
    if (options.report.empty()) return status;
    std::string folders;
    for (const StoreJob& job : jobs) folders += (folders.empty() ? "" : ",\n") + TakeReportPart(job, errors);
    return WriteReport(options.report, ReportJson(folders, status), errors) ? status : std::max(status, kSomeFailed);
  }

  TerminalPageOptions pageOptions;
  pageOptions.storePath = options.storePath.empty() ? "" : AbsolutePath(options.storePath);
  pageOptions.currentFolder = currentFolder;
  pageOptions.deleteSource = options.deleteSource;
  pageOptions.quiet = options.quiet;
  pageOptions.terminal = options.terminal;
  // A process of -j: its lines and progress go to its parent as records.
  std::optional<OutputRecords> records;
  if (options.progressRecords) {
    records.emplace(out);
    pageOptions.onProgress = [&out, &records](int done, int found) {
      *records << std::flush;
      out << ProgressLine(done, found) << "\n" << std::flush;
    };
  }
  std::ostream& shown = records ? *records : out;
  TerminalPage page(pageOptions, shown, errors);
  PstStoreLibrary library;
  ConversionPage conversion(page, selection, library);
  page.onInterrupt = [&conversion] { conversion.Form_QueryUnload(); };

  SetPendingEventsHandler([&page] { page.ProcessPendingEvents(); });
  CatchInterrupt();
  conversion.Form_Load();
  page.ApplyCommandLine();
  conversion.CmdStartConversion_Click();
  ReleaseInterrupt();
  SetPendingEventsHandler({});
  const RunReport& run = conversion.lastRun();
  Summarise(run, options.quiet, shown, errors);
  if (records) {
    *records << std::flush;
    for (const FolderReport& folder : run.folders) out << FolderLine(folder) << "\n";
    out << std::flush;
  }
  const int status = ExitStatus(run);
  if (!options.reportPart.empty() && !WriteReport(options.reportPart, FoldersJson(run), errors)) {
    return std::max(status, kSomeFailed);
  }
  if (!options.report.empty() && !WriteReport(options.report, ReportJson(FoldersJson(run), status), errors)) {
    return std::max(status, kSomeFailed);
  }
  return status;
}

void AddConvertCommand(CLI::App& app) {
  auto options = std::make_shared<ConvertOptions>();
  CLI::App* convert = app.add_subcommand(
      "convert", "Convert a folder of .msg files into a .pst store, or each subfolder of a folder into one");
  convert->add_option("FOLDER", options->folder, "The folder whose message files (and subfolders) become one store")
      ->check(NonEmptyPath());
  convert->add_option("-o,--output", options->storePath,
                      "The store to write or add to (default: <folder name><time stamp>.pst here)")
      ->check(NonEmptyPath());
  convert->add_option("--each", options->each, "Convert each immediate subfolder of this folder into NAME.pst")
      ->check(NonEmptyPath());
  convert->add_option("-d,--output-folder", options->outputFolder,
                      "With --each: where the stores are written (default: the current folder)")
      ->check(NonEmptyPath());
  convert->add_option("--only", options->only, "With --each: convert only the subfolder of this name (repeatable)");
  convert->add_flag("--delete-source", options->deleteSource,
                    "Delete each message file once its item is durably in the store");
  convert->add_flag("--skip-existing", options->skipExisting,
                    "Do not import again a message the store already holds from an earlier run (counted as "
                    "already there; with --delete-source its file is deleted)");
  convert->add_flag("-q,--quiet", options->quiet,
                    "Print only what went wrong, without the reason of each failed message");
  convert->add_option("--report", options->report,
                      "Write a JSON summary to this file: per folder and store the messages found, converted, "
                      "failed (with reasons), skipped, already there, deleted, and the time taken")
      ->check(NonEmptyPath());
  convert->add_option("-j,--jobs", options->jobs, "With --each: the number of stores written at once")
      ->capture_default_str();
  // For the conversion processes of -j: progress and lines as records for the parent.
  convert->add_flag("--progress-records", options->progressRecords)->group("");
  // For the conversion processes of -j: their folders of the report, which the first process joins.
  convert->add_option("--report-part", options->reportPart)->group("");
  convert->callback([options] {
    options->terminal = OutputIsTerminal() && !options->progressRecords;
    if (options->progressRecords) {
#ifdef SIGPIPE
      // A process of -j whose parent died must still commit its current message: its
      // records then go nowhere instead of ending it.
      std::signal(SIGPIPE, SIG_IGN);
#endif
      StopWhenParentAsks();
    }
    options->program = ProgramPath();
    const int code = RunConvert(*options, std::cout, std::cerr);
    if (code != 0) throw CLI::RuntimeError(code);
  });
}

}  // namespace baleport
