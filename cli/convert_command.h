// `baleport convert`: the conversion run of the wizard's conversion page, driven from the
// command line through a terminal page, over the store engine.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include <CLI/CLI.hpp>

namespace baleport {

struct ConvertOptions {
  std::string folder;        // single-folder mode: the source folder
  std::string storePath;     // -o; empty: the proposed name in the current folder
  std::string each;          // multiple-folder mode: each immediate subfolder of this one
  std::string outputFolder;  // -d; empty: the current folder
  std::vector<std::string> only;
  bool deleteSource = false;
  bool skipExisting = false;  // messages the store holds from an earlier run are not imported again
  bool quiet = false;
  std::string report;      // --report: the JSON summary written here
  std::string reportPart;  // for a process of -j: its folders of the report
  bool terminal = false;  // progress redrawn in place instead of one line per folder
  // --progress-records, for a process of -j: its progress and lines as records for its parent.
  bool progressRecords = false;
  // With --each: stores written at once; above 1, each by a process running `program`.
  int jobs = 1;
  std::string program;
};

// Exit status: 0 every message converted, 1 some not (listed in the logs), 2 bad usage or
// a store that could not be opened or created (refused before anything is written where
// the path tells).
int RunConvert(const ConvertOptions& options, std::ostream& out, std::ostream& errors);

void AddConvertCommand(CLI::App& app);

}  // namespace baleport
