// baleport: the command-line front end. Each subcommand registers itself.
#include <CLI/CLI.hpp>

#include <iostream>
#include <string>
#include <vector>

#include "cli/console.h"
#include "cli/convert_command.h"
#include "cli/find_command.h"
#include "cli/store_commands.h"

int main(int argc, char** argv) {
  CLI::App app{"Tamsel Baleport: folders of Outlook .msg files into .pst stores"};
  const std::string version = std::string("baleport ") + BALEPORT_VERSION;
  app.set_version_flag("-V,--version", version);
  // "/tmp/x.pst" is a path, never an option, on Windows too.
  app.allow_windows_style_options(false);
  app.footer(
      "Exit status: 0 every message found is in the store (or the command did what it was asked); "
      "1 some are not (failed and listed in the log, a folder unreadable, interrupted, a source file kept); "
      "2 bad usage, or a store that could not be opened or created.\n");
  // `baleport help [COMMAND]`, as many programs take it.
  CLI::App* help = app.add_subcommand("help", "Print this help, or a command's");
  std::string helpOn;
  help->add_option("COMMAND", helpOn, "The command whose options are printed");
  baleport::AddFindCommand(app);
  baleport::AddConvertCommand(app);
  baleport::AddStoreCommands(app);
  app.require_subcommand(1);
  std::vector<std::string> arguments = baleport::Utf8Arguments(argc, argv);
  std::vector<char*> utf8Argv;
  for (std::string& a : arguments) utf8Argv.push_back(a.data());
  try {
    app.parse(static_cast<int>(utf8Argv.size()), utf8Argv.data());
  } catch (const CLI::RuntimeError& e) {
    return e.get_exit_code();  // a command's own status; it has said why
  } catch (const CLI::ParseError& e) {
    // --help and --version end here with success; anything else is bad usage.
    return app.exit(e) == 0 ? 0 : 2;
  }
  if (help->parsed()) {
    app.clear();  // the help of the program, not of the help command just parsed
    if (helpOn.empty()) {
      std::cout << app.help();
      return 0;
    }
    CLI::App* command = nullptr;
    try {
      command = app.get_subcommand(helpOn);
    } catch (const CLI::OptionNotFound&) {
      std::cerr << "baleport help: no command " << helpOn << "\n";
      return 2;
    }
    std::cout << command->help(arguments[0]);
  }
  return 0;
}
