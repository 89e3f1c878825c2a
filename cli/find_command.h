// `baleport find FOLDER [--pattern PATTERN]`: the message file search, printed.
#pragma once

#include <ostream>
#include <string>

#include <CLI/CLI.hpp>

namespace baleport {

// Searches folder for pattern and prints the folders and files found with their keys,
// then a count line. Returns the process exit code; failures go to `errors`.
int RunFind(std::string folder, const std::string& pattern, std::ostream& out, std::ostream& errors);

void AddFindCommand(CLI::App& app);

}  // namespace baleport
