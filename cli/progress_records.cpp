#include "cli/progress_records.h"

#include <cstdio>

namespace baleport {

std::string ProgressLine(int done, int found) {
  return "progress " + std::to_string(done) + " " + std::to_string(found);
}

std::string FolderLine(const FolderReport& folder) {
  return "folder " + std::to_string(folder.found) + " " + std::to_string(folder.converted) + " " +
         std::to_string(folder.alreadyThere) + " " + std::to_string(folder.failed);
}

std::optional<ProgressRecord> ParseRecord(const std::string& line) {
  ProgressRecord record;
  int end = 0;
  if (line.starts_with("out ")) {
    record.text = line.substr(4);
    return record;
  }
  if (std::sscanf(line.c_str(), "progress %d %d%n", &record.done, &record.found, &end) == 2 &&
      static_cast<size_t>(end) == line.size()) {
    record.kind = ProgressRecord::Kind::kProgress;
    return record;
  }
  if (std::sscanf(line.c_str(), "folder %d %d %d %d%n", &record.found, &record.converted, &record.alreadyThere,
                  &record.failed, &end) == 4 &&
      static_cast<size_t>(end) == line.size()) {
    record.kind = ProgressRecord::Kind::kFolder;
    return record;
  }
  return std::nullopt;
}

// Whole lines go on at each flush; a line not yet ended waits for its end.
int OutputRecords::Buffer::sync() {
  const std::string text = str();
  size_t start = 0;
  for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
    target_ << "out " << std::string_view(text).substr(start, end + 1 - start);
  }
  str(text.substr(start));
  target_ << std::flush;
  return target_ ? 0 : -1;
}

OutputRecords::~OutputRecords() {
  if (buffer_.str().empty()) return;
  *this << "\n" << std::flush;
}

}  // namespace baleport
