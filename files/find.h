// Directory enumeration: FindFirst, FindNext and FindEnd over one caller-owned record.
#pragma once

#include <cstdint>
#include <string>

#include "files/file_system_api.h"

namespace baleport {

enum class SearchKind : int32_t { kLocal = 1, kNetwork = 2, kFtp = 3 };

struct FindEntry {
  bool errorFlag = false;  // the last step failed for a reason other than the end of the list
  int32_t errorCode = 0;   // that failure's system code, else 0
  bool found = false;      // the record holds a valid entry
  std::string searchSpec;  // as the caller gave it
  // -1: not started or closed by FindEnd; 0: closed by FindNext at the end of the list.
  FindHandle handle = kInvalidFindHandle;
  SearchKind searchKind = SearchKind::kLocal;
  std::string name;         // the current entry's name, no folder part
  uint32_t attributes = 0;  // as the enumeration delivered them
};

// Starts an enumeration of `spec` (wildcards * and ? in its last part); returns the
// handle or -1. "ftp://" addresses are not enumerated.
FindHandle FindFirst(const std::string& spec, FindEntry& entry);
// Moves to the next entry; false at the end of the list or on failure, and then the
// enumeration is already closed.
bool FindNext(FindEntry& entry);
// Closes the enumeration; true when closed or there was nothing to close.
bool FindEnd(FindEntry& entry);

}  // namespace baleport
