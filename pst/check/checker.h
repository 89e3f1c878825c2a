// Structural checker: everything a store must satisfy, from header CRCs to folder tables
// agreeing with the folders' children and items. Reads only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "support/env.h"
#include "support/status.h"

namespace baleport::pst {

struct CheckReport {
  std::vector<std::string> errors;    // the file is wrong
  std::vector<std::string> warnings;  // legal but untidy (leaked space, stale density list)
  uint64_t nodes = 0, blocks = 0, folders = 0, messages = 0;
  bool ok() const { return errors.empty(); }
  std::string Summary() const;  // every error and warning, one per line
};

// A report for any file; a file that is not a store at all is reported as one error.
CheckReport CheckStore(Env* env, const std::string& path);

}  // namespace baleport::pst
