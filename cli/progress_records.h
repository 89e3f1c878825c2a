// What a conversion process of -j tells its parent on its standard output, one whole line
// per record: how far its folder is, its counts at the end, and its own output lines.
#pragma once

#include <optional>
#include <ostream>
#include <sstream>
#include <string>

#include "conversion/run_report.h"

namespace baleport {

struct ProgressRecord {
  enum class Kind { kProgress, kFolder, kOutput };
  Kind kind = Kind::kOutput;
  int done = 0;  // kProgress: messages of the folder handled, of `found`
  int found = 0;
  int converted = 0, alreadyThere = 0, failed = 0;  // kFolder
  std::string text;  // kOutput: a line of the process's output
};

// "progress DONE FOUND"
std::string ProgressLine(int done, int found);
// "folder FOUND CONVERTED ALREADY_THERE FAILED"
std::string FolderLine(const FolderReport& folder);
// Empty for a line that is no record (an older or foreign process wrote it).
std::optional<ProgressRecord> ParseRecord(const std::string& line);

// An ostream whose every line reaches `target` whole, as an "out TEXT" record.
class OutputRecords final : public std::ostream {
 public:
  explicit OutputRecords(std::ostream& target) : std::ostream(&buffer_), buffer_(target) {}
  // A last line left without its end goes on as a line of its own.
  ~OutputRecords() override;

 private:
  class Buffer final : public std::stringbuf {
   public:
    // At the end of what is held, so that what follows a flush adds to the unended line.
    explicit Buffer(std::ostream& target) : std::stringbuf(std::ios_base::out | std::ios_base::ate), target_(target) {}
    int sync() override;

   private:
    std::ostream& target_;
  };
  Buffer buffer_;
};

}  // namespace baleport
