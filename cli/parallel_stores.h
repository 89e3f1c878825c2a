// `baleport convert --each ROOT -j N`: several stores written at once. The run keeps its
// search results process-wide, so each folder is converted by a `baleport convert FOLDER
// -o STORE` process of its own, at most N at a time; this process shows the whole run.
#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace baleport {

struct StoreJob {
  std::string source;  // the folder, absolute
  std::string store;   // its store, absolute
  std::string reportPart;  // where its process writes its folder of the report; empty: nowhere
};

struct ParallelDisplay {
  // One line for the whole run redrawn in place: the folders and messages done, the rate
  // and the time left. Otherwise the processes' lines only.
  bool terminal = false;
  bool quiet = false;  // what went wrong only: no progress, no summary
  int width = 0;       // the terminal's columns; 0: asked of standard output at each redraw
};

// Runs `program convert SOURCE -o STORE <flags> --progress-records` for every job, at most
// `jobs` at once, in order. Their lines reach `out` and `errors` whole (standard error's
// as they came), then one summary line for the run. Returns the highest exit status (a
// process that could not start or was ended by a signal counts as 1). Ctrl-C or SIGTERM
// asks every running process to stop after its current message, and starts no other.
int ConvertInParallel(const std::string& program, const std::vector<StoreJob>& storeJobs,
                      const std::vector<std::string>& flags, int jobs, const ParallelDisplay& display,
                      std::ostream& out, std::ostream& errors);

}  // namespace baleport
