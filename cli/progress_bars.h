// The two progress lines of `baleport convert` on a terminal: the folders of the run, and
// the messages of the current folder with their rate and the time left.
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

}  // namespace baleport
