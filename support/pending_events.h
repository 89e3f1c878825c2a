// The yield point of long loops: lets the window system deliver pending events (the
// Skip and Stop buttons, repaints). A no-op until a front end installs a handler.
#pragma once

#include <functional>

namespace baleport {

void ProcessPendingEvents();

// Installs the handler that ProcessPendingEvents calls; an empty function removes it.
void SetPendingEventsHandler(std::function<void()> handler);

}  // namespace baleport
