// `baleport list STORE.pst` (the folder tree with item counts) and `baleport check
// STORE.pst` (the store engine's structural checker).
#pragma once

#include <ostream>
#include <string>

#include <CLI/CLI.hpp>

namespace baleport {

// 0 when listed; 2 when the file cannot be opened as a store.
int RunList(const std::string& path, std::ostream& out, std::ostream& errors);
// 0 when the checker finds no error (warnings are printed too), 1 when it finds some.
int RunCheck(const std::string& path, std::ostream& out, std::ostream& errors);

void AddStoreCommands(CLI::App& app);

}  // namespace baleport
