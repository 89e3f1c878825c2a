// `baleport convert --each ROOT -j N`: several stores written at once. The run keeps its
// search results process-wide, so each folder is converted by a `baleport convert FOLDER
// -o STORE` process of its own, at most N at a time.
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

// Runs `program convert SOURCE -o STORE <flags>` for every job, at most `jobs` at once,
// in order; their output goes where this program's goes. Returns the highest exit status
// (a process that could not start or was ended by a signal counts as 1). After Ctrl-C, which
// the running ones receive as well, no further one is started.
int ConvertInParallel(const std::string& program, const std::vector<StoreJob>& storeJobs,
                      const std::vector<std::string>& flags, int jobs, std::ostream& errors);

}  // namespace baleport
