// This process's id and whether another one is still there, for files named after the
// process that writes them.
#pragma once

#include <cstdint>

namespace baleport {

uint32_t CurrentProcessId();
// False only when no process of that id exists; a process of another user counts as there.
bool ProcessMayBeRunning(uint32_t pid);
// Message-sized buffers freed by the process stay with it for the next message (up to a few
// tens of megabytes), instead of going back to the system and being faulted in afresh each
// time, as glibc's defaults do (about a quarter of a conversion's time on real mail). Where
// the C library has no such setting, nothing changes.
void ReuseFreedMemory();

}  // namespace baleport
