// This process's id and whether another one is still there, for files named after the
// process that writes them.
#pragma once

#include <cstdint>

namespace baleport {

uint32_t CurrentProcessId();
// False only when no process of that id exists; a process of another user counts as there.
bool ProcessMayBeRunning(uint32_t pid);

}  // namespace baleport
