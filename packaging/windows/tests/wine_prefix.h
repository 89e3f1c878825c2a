// The Windows build's programs under Wine, from a native test: in a prefix (a Windows system)
// of the test's own, made fresh and removed after it, whose home folder (Wine links the Desktop
// and Documents to it) is the test's too.
#pragma once

#include <sys/types.h>

#include <string>

#include "support/testing/command.h"

namespace baleport::testing {

// Why Wine cannot run here ("" when it can).
std::string WineMissing();
// "Z:\\..." for a path of this system (Wine's Z: drive is /).
std::string WindowsPath(const std::string& unix_path);

class WinePrefix {
 public:
  // Made with `wineboot --init` (up to a minute on a busy machine); its windows go to the X
  // display `display`, or nowhere when it is "".
  explicit WinePrefix(std::string display = "");
  ~WinePrefix();
  WinePrefix(const WinePrefix&) = delete;
  WinePrefix& operator=(const WinePrefix&) = delete;

  // Why the prefix could not be made ("" once it is).
  const std::string& error() const { return error_; }
  std::string DriveC() const { return root_ + "/drive_c"; }
  // The Windows Desktop.
  std::string Home() const { return home_; }
  // The Windows user's profile folder.
  std::string Profile() const;

  // `wine64 ARGS` (quoted for the shell), once every process it started has ended: an
  // installer's children too.
  CommandResult Run(const std::string& args) const;
  // `wine64 ARGS` in the background, its output into `log`.
  pid_t Start(const std::string& args, const std::string& log) const;
  // The registry files as Wine last saved them (after Run).
  std::string RegistryText() const;
  void EndAll() const;

 private:
  std::string Environment() const;

  std::string root_;
  std::string home_;
  std::string display_;
  std::string error_;
};

}  // namespace baleport::testing
