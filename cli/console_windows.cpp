// The console on Windows: Ctrl-C through the console's control handler, the width of its
// screen buffer, UTF-8 arguments from the wide command line.
#include <windows.h>

#include <shellapi.h>

#include <atomic>

#include "cli/console.h"
#include "support/utf16_text.h"

namespace baleport {
namespace {

std::atomic<bool> interruptRequested{false};
std::atomic<bool> interruptCaught{false};

std::string Utf8(const wchar_t* text) {
  return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text)));
}

// Runs on a thread of its own. Ctrl-C, Ctrl-Break or the console's close: the first asks the
// run to end after its current message; a second is left to the default handler, which
// ends the program at once.
BOOL WINAPI OnControl(DWORD) {
  if (!interruptCaught || interruptRequested) return FALSE;
  interruptRequested = true;
  return TRUE;
}

}  // namespace

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  SetConsoleOutputCP(CP_UTF8);
  // The progress bars are redrawn with ANSI cursor movements, which a console takes in this mode.
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(output, &mode)) SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
  int n = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &n);
  if (wide == nullptr) return std::vector<std::string>(argv, argv + argc);
  std::vector<std::string> arguments;
  for (int i = 0; i < n; ++i) arguments.push_back(Utf8(wide[i]));
  LocalFree(wide);
  return arguments;
}

// Windows has no interrupted waits: `endWaits` changes nothing here.
void CatchInterrupt(bool) {
  interruptRequested = false;
  interruptCaught = true;
  SetConsoleCtrlHandler(OnControl, TRUE);
}

void ReleaseInterrupt() {
  interruptCaught = false;
  SetConsoleCtrlHandler(OnControl, FALSE);
}

bool InterruptRequested() { return interruptRequested; }

// A console too old for ANSI cursor movements gets the lines a pipe gets.
bool OutputIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0 && (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

int TerminalWidth() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info)) {
    return info.srWindow.Right - info.srWindow.Left + 1;
  }
  return 80;
}

std::string ProgramPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      return Utf8(path.c_str());
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace baleport
