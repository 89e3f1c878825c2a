// The log kept beside each store: a first line when the call starts, a line for every
// source folder that could not be read, then one line for every message whose import failed.
// Lines end with "\r\n"; texts are written as held (UTF-8), control characters escaped so
// that every entry stays on its line. The file is created readable by its owner only (as the
// Env creates files) and, once started, held open (and locked against a second writer) until
// the log is destroyed.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "support/env.h"
#include "support/file_identity.h"
#include "support/status.h"

namespace baleport {

inline constexpr char kLogFirstLine[] = "---- Log Starts -----";
inline constexpr char kLogFailurePrefix[] = "BAD : ";
// Followed by the folder's path, " : " and why it could not be read.
inline constexpr char kLogUnreadableFolderPrefix[] = "BAD FOLDER : ";

// The store path with its extension ".pst" (in any case) replaced by ".log"; a path
// without that extension gets ".log" appended. Never equal to the store path.
std::string LogPathFor(const std::string& storePath);

// `text` with each control character (a newline in a file name) written as "\xNN".
std::string OnOneLine(std::string_view text);

class ConversionLog {
 public:
  // Every file call goes through `env`, so that a failing disk can be put in its place.
  explicit ConversionLog(std::string path, Env& env = *Env::Default()) : path_(std::move(path)), env_(env) {}
  ~ConversionLog() { Release(); }
  ConversionLog(const ConversionLog&) = delete;
  ConversionLog& operator=(const ConversionLog&) = delete;
  const std::string& path() const { return path_; }

  // Opens the file (creating it when missing) without changing it, so that a run refused
  // after this leaves an earlier log as it was.
  Status Reserve();
  // Gives up the reservation; a file that Reserve created is removed again.
  void Release();
  // Empties the file (reserved or not) and writes the first line.
  Status Start();
  // Whether a line can be appended: the file held open is still the one at the path, or the
  // file now at the path (created when it has disappeared) could be opened. A log removed or
  // replaced during the run is noticed here, before a message's success depends on it.
  Status CheckWritable();
  // Appends "BAD : " + messagePath.
  Status RecordFailure(const std::string& messagePath);
  // Appends "BAD FOLDER : " + folderPath + " : " + reason.
  Status RecordUnreadableFolder(const std::string& folderPath, const std::string& reason);

 private:
  // The line whole or not at all: a write cut short (a full disk) is taken back.
  Status AppendLine(std::string_view line);
  void Hold(std::unique_ptr<File> file);

  std::string path_;
  Env& env_;
  std::unique_ptr<File> reserved_;
  bool createdByReserve_ = false;
  // After Start: the file lines go to, and which file it is (its volume and number).
  std::unique_ptr<File> open_;
  FileIdentity openIdentity_;
};

}  // namespace baleport
