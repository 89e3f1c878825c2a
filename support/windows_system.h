// What every Windows back end needs of the system: wide "\\?\" paths, so that long paths,
// UNC shares and any Unicode name work, and errors in the system's own words.
#pragma once

#include <windows.h>

#include <string>

#include "support/status.h"

namespace baleport {

std::wstring ToWide(const std::string& text);

// The system's message for `code` ("Access is denied."), without its line break.
std::string SystemMessage(DWORD code);

// "<what> <path> failed: <the system's message>".
Status SystemError(const std::string& what, const std::string& path, DWORD code = GetLastError());

// The system's full path of a relative or absolute one: "." and ".." resolved, "/" made "\",
// a UNC path ("\\server\share\...") kept as one; the path itself when it cannot be made full.
std::string FullPath(const std::string& path);

// The full path ("\\?\C:\...", "\\?\UNC\server\share\...") of a relative or absolute one.
std::wstring SystemPath(const std::string& path);

}  // namespace baleport
