// Child processes on Windows: CreateProcessW with pipes for the standard handles; the
// standard input pipe is the stop channel, so a child also hears of its parent's end.
#include <windows.h>

#include <cstdio>
#include <thread>

#include "support/child_process.h"
#include "support/windows_system.h"

namespace baleport {
namespace {

// One argument as the C runtime splits a command line: quoted when it holds a blank or a
// quote (or is empty), backslashes doubled where they precede a quote.
void AppendArgument(std::wstring& line, const std::wstring& argument) {
  if (!line.empty()) line += L' ';
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) {
    line += argument;
    return;
  }
  line += L'"';
  size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    line.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, L'\\');
  line += L'"';
}

HANDLE AsHandle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }
intptr_t AsValue(HANDLE handle) { return reinterpret_cast<intptr_t>(handle); }

// A pipe whose end for the child (`childReads` tells which) is inheritable.
bool MakePipe(HANDLE& read, HANDLE& write, bool childReads) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  if (!CreatePipe(&read, &write, &inherit, 0)) return false;
  // The parent's end stays here: a child holding it would keep the pipe from ever ending.
  return SetHandleInformation(childReads ? write : read, HANDLE_FLAG_INHERIT, 0) != 0;
}

}  // namespace

Result<ChildProcesses::Handles> ChildProcesses::Spawn(const std::string& program,
                                                      const std::vector<std::string>& arguments) {
  std::wstring line;
  AppendArgument(line, ToWide(program));
  for (const std::string& argument : arguments) AppendArgument(line, ToWide(argument));

  HANDLE input[2] = {}, output[2] = {}, errors[2] = {};
  auto closeAll = [&] {
    for (HANDLE h : {input[0], input[1], output[0], output[1], errors[0], errors[1]}) {
      if (h != nullptr) CloseHandle(h);
    }
  };
  // Started from one thread only (see Start), so no other child inherits these ends.
  if (!MakePipe(input[0], input[1], true) || !MakePipe(output[0], output[1], false) ||
      !MakePipe(errors[0], errors[1], false)) {
    const DWORD err = GetLastError();
    closeAll();
    return Status::Error("starting " + program + ": " + SystemMessage(err));
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input[0];
  startup.hStdOutput = output[1];
  startup.hStdError = errors[1];
  PROCESS_INFORMATION process{};
  const BOOL started = CreateProcessW(ToWide(program).c_str(), line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                      nullptr, &startup, &process);
  const DWORD err = GetLastError();
  for (HANDLE& childEnd : {std::ref(input[0]), std::ref(output[1]), std::ref(errors[1])}) {
    CloseHandle(childEnd);
    childEnd = nullptr;
  }
  if (!started) {
    closeAll();
    return Status::Error("starting " + program + ": " + SystemMessage(err));
  }
  CloseHandle(process.hThread);
  Handles handles;
  handles.process = AsValue(process.hProcess);
  handles.output = AsValue(output[0]);
  handles.errors = AsValue(errors[0]);
  handles.input = AsValue(input[1]);
  return handles;
}

size_t ChildProcesses::ReadPipe(intptr_t pipe, char* buffer, size_t n) {
  DWORD got = 0;
  if (!ReadFile(AsHandle(pipe), buffer, static_cast<DWORD>(n), &got, nullptr)) return 0;  // ERROR_BROKEN_PIPE: the end
  return got;
}

void ChildProcesses::ClosePipe(intptr_t pipe) { CloseHandle(AsHandle(pipe)); }

void ChildProcesses::AwaitEnd(intptr_t process) { WaitForSingleObject(AsHandle(process), INFINITE); }

int ChildProcesses::Release(Handles& handles) {
  SendStop(handles);  // its standard input is not needed any more
  DWORD code = 0;
  const bool known = GetExitCodeProcess(AsHandle(handles.process), &code) != 0;
  CloseHandle(AsHandle(handles.process));
  return known ? static_cast<int>(code) : -1;
}

void ChildProcesses::SendStop(Handles& handles) {
  if (handles.input == -1) return;
  CloseHandle(AsHandle(handles.input));
  handles.input = -1;
}

void WatchForStopRequest(void (*onStop)()) {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  std::thread([input, onStop] {
    char byte;
    DWORD got = 0;
    // Nothing is ever written: the read ends when the parent closes the pipe or ends.
    while (ReadFile(input, &byte, 1, &got, nullptr) && got > 0) {
    }
    onStop();
  }).detach();
}

}  // namespace baleport
