// The log kept beside each store: a first line when the call starts, a line for every
// source folder that could not be read, then one line for every message whose import failed. Lines end with "\r\n"; texts are written as held
// (UTF-8). The file is open only within one operation.
#pragma once

#include <cstdio>
#include <string>

#include "support/status.h"

namespace baleport {

inline constexpr char kLogFirstLine[] = "---- Log Starts -----";
inline constexpr char kLogFailurePrefix[] = "BAD : ";
// Followed by the folder's path, " : " and why it could not be read.
inline constexpr char kLogUnreadableFolderPrefix[] = "BAD FOLDER : ";

// The store path with its extension ".pst" (in any case) replaced by ".log"; a path
// without that extension gets ".log" appended. Never equal to the store path.
std::string LogPathFor(const std::string& storePath);

// The log opened for appending; closed when destroyed.
class LogAppender {
 public:
  LogAppender(std::FILE* file, std::string path) : file_(file), path_(std::move(path)) {}
  LogAppender(LogAppender&& other) noexcept : file_(other.file_), path_(std::move(other.path_)) {
    other.file_ = nullptr;
  }
  LogAppender(const LogAppender&) = delete;
  LogAppender& operator=(const LogAppender&) = delete;
  LogAppender& operator=(LogAppender&&) = delete;
  ~LogAppender();

  Status WriteLine(const std::string& line);

 private:
  std::FILE* file_;
  std::string path_;
};

class ConversionLog {
 public:
  explicit ConversionLog(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }

  // Creates the file, or empties an existing one, and writes the first line.
  Status Start();
  // Opens the file for appending, creating it when it has disappeared.
  Result<LogAppender> OpenForAppend();
  // Appends "BAD : " + messagePath in one open-write-close.
  Status RecordFailure(const std::string& messagePath);
  // Appends "BAD FOLDER : " + folderPath + " : " + reason in one open-write-close.
  Status RecordUnreadableFolder(const std::string& folderPath, const std::string& reason);

 private:
  std::string path_;
};

}  // namespace baleport
