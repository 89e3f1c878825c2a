// The progress lines of `baleport convert` on a terminal: in one process the folders of the
// run and the messages of the current folder; with -j one line for the whole run.
#pragma once

#include <string>

namespace baleport {

struct ProgressState {
  int folder = 1;  // the current folder, 1-based
  int folders = 1;
  std::string folderName;
  int done = 0;  // entries of the current folder handled
  int total = 0;
  double seconds = 0;  // since the current folder's messages started
};

// Two lines, "\n" between them and none at the end, each at most `width` columns (a bar
// shrinks first, then the folder name is cut; a width too small for any bar gives the
// counts alone). Columns are counted as UTF-8 code points.
std::string RenderProgress(const ProgressState& state, int width);

// The one line of `baleport convert --each -j N`: the folders and the messages of the
// whole run, several folders at once.
struct OverallProgress {
  int foldersDone = 0;
  int folders = 0;
  long long done = 0;   // messages handled in all folders
  long long found = 0;  // messages found so far
  bool allFound = false;  // every folder searched: `found` is the run's total
  double seconds = 0;     // since the run started
};

// At most `width` columns, as RenderProgress; the rate and time left once `allFound`.
std::string RenderOverall(const OverallProgress& progress, int width);

}  // namespace baleport
