#include "support/pending_events.h"

#include <utility>

namespace baleport {
namespace {
std::function<void()>& Handler() {
  static std::function<void()> handler;
  return handler;
}
}  // namespace

void ProcessPendingEvents() {
  if (auto& handler = Handler()) handler();
}

void SetPendingEventsHandler(std::function<void()> handler) { Handler() = std::move(handler); }

}  // namespace baleport
