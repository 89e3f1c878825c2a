// `-j` on Windows: the conversion processes started with CreateProcessW. Ctrl-C reaches them
// through the console they share, as it reaches a process group on POSIX.
#include <windows.h>

#include <algorithm>
#include <vector>

#include "cli/parallel_stores.h"
#include "cli/terminal_page.h"
#include "support/windows_system.h"

namespace baleport {
namespace {

constexpr int kSomeFailed = 1;
constexpr DWORD kHighestStatus = 2;  // above it: the process was ended, not a status of ours

// One argument as CommandLineToArgvW reads it back: quoted, with the backslashes before a
// quote doubled.
std::wstring Quoted(const std::wstring& argument) {
  std::wstring out = L"\"";
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    out.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, L'\\');
  return out + L"\"";
}

}  // namespace

int ConvertInParallel(const std::string& program, const std::vector<StoreJob>& storeJobs,
                      const std::vector<std::string>& flags, int jobs, std::ostream& errors) {
  int status = 0;
  std::vector<std::pair<HANDLE, const StoreJob*>> running;
  auto waitForOne = [&] {
    std::vector<HANDLE> handles;
    for (const auto& [process, job] : running) handles.push_back(process);
    const DWORD which = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, INFINITE);
    if (which >= WAIT_OBJECT_0 + handles.size()) {
      errors << "baleport convert: waiting for a conversion process failed: " << SystemMessage(GetLastError()) << "\n";
      for (const auto& [process, job] : running) CloseHandle(process);
      running.clear();
      status = std::max(status, kSomeFailed);
      return;
    }
    const auto& [process, job] = running[which - WAIT_OBJECT_0];
    DWORD code = kSomeFailed;
    GetExitCodeProcess(process, &code);
    if (code > kHighestStatus) {
      errors << "baleport convert: the conversion of " << job->source << " was ended\n";
      code = kSomeFailed;
    }
    status = std::max(status, static_cast<int>(code));
    CloseHandle(process);
    running.erase(running.begin() + (which - WAIT_OBJECT_0));
  };

  CatchInterrupt(/*endWaits=*/true);
  for (const StoreJob& job : storeJobs) {
    while (static_cast<int>(running.size()) >= jobs) waitForOne();
    if (InterruptRequested()) {
      status = std::max(status, kSomeFailed);
      break;
    }
    std::vector<std::string> arguments = {program, "convert", job.source, "-o", job.store};
    arguments.insert(arguments.end(), flags.begin(), flags.end());
    if (!job.reportPart.empty()) arguments.insert(arguments.end(), {"--report-part", job.reportPart});
    std::wstring commandLine;
    for (const std::string& a : arguments) commandLine += (commandLine.empty() ? L"" : L" ") + Quoted(ToWide(a));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(ToWide(program).c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &started)) {
      errors << "baleport convert: cannot start the conversion of " << job.source << ": "
             << SystemMessage(GetLastError()) << "\n";
      status = std::max(status, kSomeFailed);
      continue;
    }
    CloseHandle(started.hThread);
    running.emplace_back(started.hProcess, &job);
  }
  while (!running.empty()) waitForOne();
  return status;
}

}  // namespace baleport
