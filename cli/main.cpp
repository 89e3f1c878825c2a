// baleport: the command-line front end. Each subcommand registers itself.
#include <CLI/CLI.hpp>

#include "cli/find_command.h"

int main(int argc, char** argv) {
  CLI::App app{"Tamsel Baleport: folders of Outlook .msg files into .pst stores"};
  app.require_subcommand(1);
  baleport::AddFindCommand(app);
  CLI11_PARSE(app, argc, argv);
  return 0;
}
