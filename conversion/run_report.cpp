#include "conversion/run_report.h"

#include "conversion/conversion_log.h"

namespace baleport {
namespace {

std::string Counts(const FolderReport& folder) {
  std::string text = std::to_string(folder.converted) + " of " + std::to_string(folder.found) + " converted, ";
  if (folder.alreadyThere > 0) text += std::to_string(folder.alreadyThere) + " already there, ";
  text += std::to_string(folder.failed) + " failed";
  if (folder.notDeleted > 0) {
    text += ", " + std::to_string(folder.notDeleted) + " source file(s) not deleted (first: " +
            OnOneLine(folder.firstNotDeleted) + ")";
  }
  if (!folder.failures.empty()) text += " (first failure: " + OnOneLine(folder.failures.front()) + ")";
  if (!folder.reason.empty()) text += "; " + folder.reason;  // the store did not close cleanly
  return text;
}

std::string Unreadable(const FolderReport& folder) {
  std::string text;
  for (const std::string& described : folder.unreadable) text += "; " + described;
  return text;
}

// The line for a folder worth mentioning, without its unreadable folders; empty for a
// folder that converted cleanly.
std::string OutcomeLine(const FolderReport& folder) {
  const std::string& path = folder.path;
  switch (folder.outcome) {
    case FolderOutcome::kConverted:
      return folder.failed > 0 || folder.notDeleted > 0 || !folder.reason.empty() || !folder.unreadable.empty()
                 ? path + ": " + Counts(folder)
                 : "";
    case FolderOutcome::kNoMessages:
      return path + ": no message files found";
    case FolderOutcome::kSearchFailed:
    case FolderOutcome::kLogFailed:
    case FolderOutcome::kStoreError:
      return path + ": not converted: " + folder.reason;
    case FolderOutcome::kNoStoreChosen:
      return path + ": not converted: no store file was chosen";
    case FolderOutcome::kSkipped:
      return path + ": skipped, " + Counts(folder);
    case FolderOutcome::kStopped:
      return path + ": stopped, " + Counts(folder);
    case FolderOutcome::kPageClosed:
      return path + ": stopped when the page was closed, " + Counts(folder);
  }
  return path;
}

std::string FolderLine(const FolderReport& folder) {
  const std::string line = OutcomeLine(folder);
  return line.empty() ? line : line + Unreadable(folder);
}

}  // namespace

bool RunReport::AllConverted() const {
  int32_t converted = 0;
  for (const FolderReport& folder : folders) {
    if (folder.outcome != FolderOutcome::kConverted && folder.outcome != FolderOutcome::kNoMessages) return false;
    const int32_t inStore = folder.converted + folder.alreadyThere;
    if (folder.failed > 0 || inStore != folder.found || folder.notDeleted > 0 || !folder.reason.empty()) return false;
    if (!folder.unreadable.empty()) return false;
    converted += inStore;
  }
  return converted > 0;
}

std::string CompletionText(const RunReport& report) {
  if (report.AllConverted()) {
    return report.singleMode
               ? "Messages Converted Successfully.\r\nOpen Converted PST file in Outlook to View Converted Messages."
               : "All Folders Converted Successfully.\r\nOpen Converted PST file(s) in Outlook to View Individual "
                 "files.";
  }
  int32_t found = 0, converted = 0, failed = 0;
  for (const FolderReport& folder : report.folders) {
    found += folder.found;
    converted += folder.converted;
    failed += folder.failed;
  }
  std::string text = std::to_string(converted) + " of " + std::to_string(found) + " messages converted, " +
                     std::to_string(failed) + " failed.";
  for (const FolderReport& folder : report.folders) {
    if (const std::string line = FolderLine(folder); !line.empty()) text += "\r\n" + line;
  }
  bool logsListed = false;
  for (const FolderReport& folder : report.folders) {
    if (folder.failed == 0 || folder.logPath.empty() || !folder.unlogged.empty()) continue;
    if (!logsListed) text += "\r\nFailed messages are listed in:";
    logsListed = true;
    text += "\r\n" + folder.logPath;
  }
  // A log that could not take every line does not list them: the box does.
  for (const FolderReport& folder : report.folders) {
    if (folder.unlogged.empty()) continue;
    text += "\r\n" + std::to_string(folder.unlogged.size()) + " failed message(s) of " + folder.path +
            " are not in " + (folder.logPath.empty() ? std::string("the log") : folder.logPath) + " (" +
            folder.logFailure + "):";
    for (const std::string& path : folder.unlogged) text += "\r\n" + OnOneLine(path);
  }
  return text;
}

}  // namespace baleport
