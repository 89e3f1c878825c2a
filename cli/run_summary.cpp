#include "cli/run_summary.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "cli/counted.h"
#include "conversion/conversion_log.h"

namespace baleport {
namespace {

constexpr int kAllConverted = 0, kSomeFailed = 1, kNotOpened = 2;

int OutcomeStatus(const FolderReport& folder) {
  switch (folder.outcome) {
    case FolderOutcome::kNoStoreChosen:
    case FolderOutcome::kLogFailed:
    case FolderOutcome::kStoreError:
      return kNotOpened;
    case FolderOutcome::kSearchFailed:
    case FolderOutcome::kSkipped:
    case FolderOutcome::kStopped:
    case FolderOutcome::kPageClosed:
      return kSomeFailed;
    case FolderOutcome::kConverted:
    case FolderOutcome::kNoMessages:
      return folder.failed > 0 || folder.notDeleted > 0 || !folder.reason.empty() ? kSomeFailed : kAllConverted;
  }
  return kSomeFailed;
}

// A folder whose tree could not be read in full was not converted in full.
int FolderStatus(const FolderReport& folder) {
  return std::max(OutcomeStatus(folder), folder.unreadable.empty() ? kAllConverted : kSomeFailed);
}

bool StoreNotOpened(const FolderReport& folder) { return OutcomeStatus(folder) == kNotOpened; }

void Failures(const FolderReport& folder, bool quiet, std::ostream& errors) {
  if (folder.failed == 0) return;
  errors << "baleport convert: " << folder.failed << " of " << Counted(folder.found, "message") << " of "
         << folder.path << " failed, ";
  if (folder.unlogged.empty()) {
    errors << "listed in " << folder.logPath;
  } else {
    // The log does not hold them all: they are named here.
    errors << folder.unlogged.size() << " of them not listed in " << folder.logPath << " (" << folder.logFailure
           << ")";
  }
  if (quiet && !folder.failures.empty()) errors << "; the first: " << OnOneLine(folder.failures.front());
  errors << "\n";
  if (!quiet) {
    for (const std::string& reason : folder.failures) errors << "baleport convert: failed: " << OnOneLine(reason) << "\n";
  }
  for (const std::string& path : folder.unlogged) errors << "baleport convert: not in the log: " << OnOneLine(path) << "\n";
}

void FolderLines(const FolderReport& folder, bool quiet, std::ostream& out, std::ostream& errors) {
  for (const std::string& unreadable : folder.unreadable) {
    errors << "baleport convert: " << folder.path << ": " << unreadable << "; its messages were not converted\n";
  }
  if (StoreNotOpened(folder) || folder.outcome == FolderOutcome::kSearchFailed) {
    // The reason names the store or the folder; nothing was converted.
    errors << "baleport convert: " << OnOneLine(folder.reason) << "\n";
    return;
  }
  if (folder.outcome == FolderOutcome::kNoMessages) {
    if (!quiet) out << folder.path << ": no message files\n";
    return;
  }
  if (!quiet) {
    out << folder.path << " -> " << folder.storePath << ": " << folder.converted << " converted, ";
    if (folder.alreadyThere > 0) out << folder.alreadyThere << " already there, ";
    out << folder.failed << " failed\n";
  }
  Failures(folder, quiet, errors);
  if (folder.notDeleted > 0) {
    errors << "baleport convert: " << Counted(folder.notDeleted, "source file") << " of " << folder.path
           << " in the store " << (folder.notDeleted == 1 ? "was" : "were")
           << " not deleted; the first: " << OnOneLine(folder.firstNotDeleted) << "\n";
  }
  if (folder.outcome == FolderOutcome::kPageClosed) {
    const int32_t left = folder.found - folder.converted - folder.alreadyThere - folder.failed;
    errors << "baleport convert: " << folder.path << ": interrupted; what was converted is committed, "
           << Counted(left, "message file") << " not converted " << (left == 1 ? "stays" : "stay") << " in place\n";
  }
  if (!folder.reason.empty()) errors << "baleport convert: " << folder.path << ": " << OnOneLine(folder.reason) << "\n";
}

std::string Json(std::string_view text) {
  std::string quoted = "\"";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      quoted += '\\';
      quoted += c;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      quoted += escaped;
    } else {
      quoted += c;
    }
  }
  return quoted + "\"";
}

std::string JsonList(const std::vector<std::string>& texts) {
  std::string list = "[";
  for (const std::string& text : texts) list += (list.size() > 1 ? ", " : "") + Json(text);
  return list + "]";
}

const char* OutcomeName(FolderOutcome outcome) {
  switch (outcome) {
    case FolderOutcome::kConverted: return "converted";
    case FolderOutcome::kNoMessages: return "no messages";
    case FolderOutcome::kSearchFailed: return "search failed";
    case FolderOutcome::kNoStoreChosen: return "no store";
    case FolderOutcome::kLogFailed: return "log failed";
    case FolderOutcome::kStoreError: return "store failed";
    case FolderOutcome::kSkipped: return "skipped";
    case FolderOutcome::kStopped: return "stopped";
    case FolderOutcome::kPageClosed: return "interrupted";
  }
  return "";
}

}  // namespace

int ExitStatus(const RunReport& report) {
  int status = kAllConverted;
  for (const FolderReport& folder : report.folders) status = std::max(status, FolderStatus(folder));
  return status;
}

void Summarise(const RunReport& report, bool quiet, std::ostream& out, std::ostream& errors) {
  for (const FolderReport& folder : report.folders) {
    std::ostringstream outLines, errorLines;
    FolderLines(folder, quiet, outLines, errorLines);
    out << outLines.str() << std::flush;
    errors << errorLines.str() << std::flush;
  }
}

std::string FoldersJson(const RunReport& report) {
  std::string json;
  for (const FolderReport& f : report.folders) {
    if (!json.empty()) json += ",\n";
    const int32_t skipped = f.found - f.converted - f.alreadyThere - f.failed;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.3f", f.seconds);
    json += "    {\"folder\": " + Json(f.path) + ", \"store\": " + Json(f.storePath) + ", \"log\": " + Json(f.logPath) +
            ", \"outcome\": " + Json(OutcomeName(f.outcome)) + ", \"reason\": " + Json(f.reason) +
            ",\n     \"found\": " + std::to_string(f.found) + ", \"converted\": " + std::to_string(f.converted) +
            ", \"already_there\": " + std::to_string(f.alreadyThere) + ", \"failed\": " + std::to_string(f.failed) +
            ", \"skipped\": " + std::to_string(std::max(skipped, 0)) +
            ", \"deleted\": " + std::to_string(f.deleted) + ", \"not_deleted\": " + std::to_string(f.notDeleted) +
            ", \"seconds\": " + seconds + ",\n     \"failures\": " + JsonList(f.failures) +
            ", \"unreadable_folders\": " + JsonList(f.unreadable) + "}";
  }
  return json;
}

std::string ReportJson(const std::string& foldersJson, int exitStatus) {
  return "{\n  \"exit_status\": " + std::to_string(exitStatus) + ",\n  \"folders\": [\n" + foldersJson +
         (foldersJson.empty() ? "" : "\n") + "  ]\n}\n";
}

}  // namespace baleport
