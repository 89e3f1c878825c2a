// Paths from the command line are made absolute before use, so that the run, the log and
// the messages name files the same way wherever the program was started.
#pragma once

#include <string>

namespace baleport {

// Absolute, without "." and ".." parts or a trailing separator (a root, "/" or "C:\", keeps its
// own). A Windows network path stays one: "\\server\share\Mail".
std::string AbsolutePath(const std::string& path);

}  // namespace baleport
