#include "support/child_process.h"

namespace baleport {

ChildProcesses::~ChildProcesses() {
  for (size_t i = 0; i < children_.size(); ++i) RequestStop(static_cast<int>(i));
  for (const auto& child : children_) {
    for (std::thread& reader : child->readers) reader.join();
  }
}

Result<int> ChildProcesses::Start(const std::string& program, const std::vector<std::string>& arguments) {
  Result<Handles> handles = Spawn(program, arguments);
  if (!handles.ok()) return handles.status();
  const int number = static_cast<int>(children_.size());
  auto child = std::make_unique<Child>();
  child->handles = *handles;
  Child& started = *child;
  children_.push_back(std::move(child));
  ++running_;
  started.readers.emplace_back(&ChildProcesses::ReadLines, this, number, &started, started.handles.output, ChildEvent::Kind::kOutput);
  started.readers.emplace_back(&ChildProcesses::ReadLines, this, number, &started, started.handles.errors, ChildEvent::Kind::kError);
  return number;
}

void ChildProcesses::RequestStop(int child) {
  Child& c = *children_.at(static_cast<size_t>(child));
  std::lock_guard lock(c.stopping);
  if (!c.ended) SendStop(c.handles);
}

std::vector<ChildEvent> ChildProcesses::Wait(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  arrived_.wait_for(lock, timeout, [this] { return !events_.empty(); });
  std::vector<ChildEvent> taken(events_.begin(), events_.end());
  events_.clear();
  lock.unlock();
  for (const ChildEvent& event : taken) running_ -= event.kind == ChildEvent::Kind::kExited ? 1 : 0;
  return taken;
}

// One thread per pipe: the pipes of a child that writes much to one of them are both
// drained, so it never blocks on a full pipe while the other is read.
void ChildProcesses::ReadLines(int child, Child* c, intptr_t pipe, ChildEvent::Kind kind) {
  std::string pending;
  char buffer[4096];
  for (size_t n; (n = ReadPipe(pipe, buffer, sizeof buffer)) > 0;) {
    pending.append(buffer, n);
    size_t start = 0;
    for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1) {
      // A child on Windows may end its lines with "\r\n".
      const size_t length = end > start && pending[end - 1] == '\r' ? end - 1 - start : end - start;
      Push({child, kind, pending.substr(start, length), 0});
    }
    pending.erase(0, start);
    for (; pending.size() >= kLongestLine; pending.erase(0, kLongestLine)) {
      Push({child, kind, pending.substr(0, kLongestLine), 0});
    }
  }
  ClosePipe(pipe);
  if (!pending.empty()) Push({child, kind, pending, 0});

  {
    std::lock_guard lock(c->stopping);
    if (--c->openPipes > 0) return;
  }
  // The last pipe closed: the child is ending (or closed both on purpose and waits here).
  AwaitEnd(c->handles.process);
  int exitCode = 0;
  {
    std::lock_guard lock(c->stopping);
    c->ended = true;
    exitCode = Release(c->handles);
  }
  Push({child, ChildEvent::Kind::kExited, "", exitCode});
}

void ChildProcesses::Push(ChildEvent event) {
  {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
  }
  arrived_.notify_one();
}

}  // namespace baleport
