// The end of `baleport convert`: a line per folder, what went wrong with each reason, the
// exit status, and the JSON report of --report.
#pragma once

#include <ostream>
#include <string>

#include "conversion/run_report.h"

namespace baleport {

// 0 every message found is in the store, 1 some are not, 2 a store could not be opened.
int ExitStatus(const RunReport& report);

// A line per folder on `out` (none when `quiet`); on `errors` what went wrong, each failed
// message with its reason (with `quiet` only the first). A folder's lines are written at
// once, so the processes of -j sharing a pipe do not cut into each other's lines.
void Summarise(const RunReport& report, bool quiet, std::ostream& out, std::ostream& errors);

// The folders of the run as JSON objects separated by ",\n", for the "folders" array of
// the report (the processes of -j each give theirs).
std::string FoldersJson(const RunReport& report);

// The whole report: the folders' objects, given as FoldersJson, and the exit status.
std::string ReportJson(const std::string& foldersJson, int exitStatus);

}  // namespace baleport
