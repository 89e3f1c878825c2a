// Child processes run side by side: their standard output and standard error come back as
// whole lines, their ends as exit statuses, and each can be asked to stop after its
// current piece of work.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/status.h"

namespace baleport {

struct ChildEvent {
  enum class Kind { kOutput, kError, kExited };
  int child = 0;  // as numbered by ChildProcesses::Start
  Kind kind = Kind::kOutput;
  std::string line;  // kOutput, kError: one line, without its end
  // kExited: the child's exit status; -1 when it was ended by a signal or could not be waited for.
  int exitCode = 0;
};

class ChildProcesses {
 public:
  ChildProcesses() = default;
  ChildProcesses(const ChildProcesses&) = delete;
  ChildProcesses& operator=(const ChildProcesses&) = delete;
  // Asks the children still running to stop and waits for them.
  ~ChildProcesses();

  // Starts `program` with `arguments` (those after the program's name) and returns its
  // number, counted from 0. Call from one thread only: on Linux a child is sent SIGTERM when
  // the thread that started it ends, as when this process dies.
  Result<int> Start(const std::string& program, const std::vector<std::string>& arguments);

  // Asks a running child to stop: SIGTERM on POSIX; on Windows its standard input is
  // closed (see WatchForStopRequest). A child that has ended is left alone.
  void RequestStop(int child);

  // Waits up to `timeout` for events and takes those that came, in order per child; a
  // child's kExited comes after all its lines. Empty when the time passed first.
  std::vector<ChildEvent> Wait(std::chrono::milliseconds timeout);

  // Children whose kExited has not been taken yet.
  int running() const { return running_; }

  // A line longer than this is passed on in pieces, so a child that never ends a line
  // cannot fill the memory.
  static constexpr size_t kLongestLine = 64 * 1024;

 private:
  // What the platform gives for a started child: descriptors on POSIX, handles on Windows.
  struct Handles {
    intptr_t process = -1;  // the process id on POSIX, its handle on Windows
    intptr_t output = -1;   // the read ends of its standard output and standard error
    intptr_t errors = -1;
    intptr_t input = -1;  // Windows: the write end of its standard input, the stop channel
  };
  struct Child {
    Handles handles;
    std::mutex stopping;  // RequestStop against the exit
    bool ended = false;
    int openPipes = 2;
    std::vector<std::thread> readers;
  };

  // Per platform.
  static Result<Handles> Spawn(const std::string& program, const std::vector<std::string>& arguments);
  // Reads up to `n` bytes; 0 at the end of the pipe or on an error.
  static size_t ReadPipe(intptr_t pipe, char* buffer, size_t n);
  static void ClosePipe(intptr_t pipe);
  // Blocks until the process has ended, without releasing it (its id stays taken).
  static void AwaitEnd(intptr_t process);
  // Releases an ended process and what is left of its handles; returns its exit status or -1.
  static int Release(Handles& handles);
  static void SendStop(Handles& handles);

  void ReadLines(int child, Child* c, intptr_t pipe, ChildEvent::Kind kind);
  void Push(ChildEvent event);

  std::vector<std::unique_ptr<Child>> children_;
  int running_ = 0;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<ChildEvent> events_;
};

#ifdef _WIN32
// In a child started by ChildProcesses: calls `onStop` once, from another thread, when
// standard input ends (the parent asked this process to stop, or ended itself). On POSIX
// the request is SIGTERM, which the child catches as it catches Ctrl-C.
void WatchForStopRequest(void (*onStop)());
#endif

}  // namespace baleport
