// What tells that a file is still the one that was read, and where a path really leads:
// the checks made before a converted source file is deleted.
#pragma once

#include <cstdint>
#include <string>

#include "support/status.h"

#ifndef _WIN32
struct stat;
#endif

namespace baleport {

// Volume and file number, size, and the times of the last change of content and of status:
// a file replaced at the same path, or rewritten in place, compares unequal.
struct FileIdentity {
  uint64_t volume = 0;
  uint64_t index = 0;
  uint64_t size = 0;
  int64_t modifiedNs = 0;
  int64_t changedNs = 0;
  bool operator==(const FileIdentity&) const = default;
};

// Of the file a path leads to (links followed).
Result<FileIdentity> IdentifyFile(const std::string& path);
#ifdef _WIN32
// Of an open file (a HANDLE); failures name `path`.
Result<FileIdentity> IdentifyHandle(void* handle, const std::string& path);
#else
// From what stat or fstat gave.
FileIdentity IdentityOf(const struct stat& st);
#endif

// The path with every link, "." and ".." resolved; the file must exist.
Result<std::string> RealPath(const std::string& path);

// Whether `path` lies inside the folder `realFolder` (itself a real path) once its links
// are resolved; false when it cannot be resolved.
bool RealPathIsInside(const std::string& path, const std::string& realFolder);

}  // namespace baleport
