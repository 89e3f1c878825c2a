// The wide strings of the Windows system calls, and the system's own words for an error.
#pragma once

#include <windows.h>

#include <string>

namespace baleport {

std::wstring ToWide(const std::string& text);

// The system's message for `code` ("Access is denied."), without its line break.
std::string SystemMessage(DWORD code);

}  // namespace baleport
