// baleport: the command-line front end. Each subcommand registers itself.
#include <CLI/CLI.hpp>

#include <string>

#include "cli/convert_command.h"
#include "cli/find_command.h"
#include "cli/store_commands.h"

int main(int argc, char** argv) {
  CLI::App app{"Tamsel Baleport: folders of Outlook .msg files into .pst stores"};
  app.set_version_flag("--version", std::string("baleport ") + BALEPORT_VERSION);
  app.require_subcommand(1);
  baleport::AddFindCommand(app);
  baleport::AddConvertCommand(app);
  baleport::AddStoreCommands(app);
  try {
    app.parse(argc, argv);
  } catch (const CLI::RuntimeError& e) {
    return e.get_exit_code();  // a command's own status; it has said why
  } catch (const CLI::ParseError& e) {
    // --help and --version end here with success; anything else is bad usage.
    return app.exit(e) == 0 ? 0 : 2;
  }
  return 0;
}
