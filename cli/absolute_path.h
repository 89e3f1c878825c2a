// Paths from the command line are made absolute before use, so that the run, the log and
// the messages name files the same way wherever the program was started.
#pragma once

#include <string>

namespace CLI {
class Validator;
}

namespace baleport {

// Absolute, without "." and ".." parts or a trailing separator (a root, "/" or "C:\", keeps its
// own). A Windows network path stays one: "\\server\share\Mail".
std::string AbsolutePath(const std::string& path);

// For every path argument: an empty one names no file (made absolute it would be the current
// folder, and searched as a root, the whole file system), so it is bad usage.
const CLI::Validator& NonEmptyPath();

}  // namespace baleport
