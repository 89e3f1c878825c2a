// Running the Windows build's programs under Wine from a native test: each test gets a Wine
// prefix (a Windows system of its own) made fresh and removed after it, with a home folder of
// its own (Wine links the Desktop and Documents folders to it), and, for windows, an X server
// of its own.
#pragma once

#include <sys/types.h>

#include <string>

#include "support/testing/command.h"

namespace baleport::testing {

// Why Wine cannot run here ("" when it can).
std::string WineMissing();
// The first line of `output` that is a number ("" when none is): a window id among xdotool's
// X errors about windows closing meanwhile, the display Xvfb reports among its warnings.
std::string FirstNumber(const std::string& output);
// "Z:\\..." for a path of this system (Wine's Z: drive is /).
std::string WindowsPath(const std::string& unix_path);

class WinePrefix {
 public:
  // Made with `wineboot --init`: up to a minute on a busy machine. `display` is the X
  // display its windows go to ("" for none).
  explicit WinePrefix(std::string display = "");
  ~WinePrefix();
  WinePrefix(const WinePrefix&) = delete;
  WinePrefix& operator=(const WinePrefix&) = delete;

  // Why the prefix could not be made ("" once it is).
  const std::string& error() const { return error_; }
  // The folder C: stands for.
  std::string DriveC() const { return root_ + "/drive_c"; }
  // The home folder Wine was given: the Windows Desktop.
  std::string Home() const { return home_; }
  // The Windows user's profile folder, as this system sees it.
  std::string Profile() const;

  // `wine64 ARGS` (each already quoted for the shell, Windows paths and all), once every
  // process it started has ended: an installer's or uninstaller's children too.
  CommandResult Run(const std::string& args) const;
  // `wine64 ARGS` in the background, its output into `log`; the process id of its starter.
  pid_t Start(const std::string& args, const std::string& log) const;
  // The registry files as Wine last saved them (after Run, once its processes have ended).
  std::string RegistryText() const;
  // Ends every process running in the prefix.
  void EndAll() const;

 private:
  std::string Environment() const;

  std::string root_;
  std::string home_;
  std::string display_;
  std::string error_;
};

// An X server (Xvfb, 1024x768) for one test, ended with it; no window manager, so windows
// have no title bar and take the focus they are given.
class VirtualDisplay {
 public:
  VirtualDisplay();
  ~VirtualDisplay();
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // ":N", or "" when Xvfb could not start.
  const std::string& name() const { return name_; }
  // `xdotool ARGS` on this display (ended after ten minutes, should it wait for a window that
  // never comes).
  CommandResult Xdotool(const std::string& args) const;

 private:
  pid_t pid_ = -1;
  std::string name_;
};

}  // namespace baleport::testing
