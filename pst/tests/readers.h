// The independent readers (libpff's pffinfo and pypff, libpst's readpst, Microsoft's pstsdk,
// java-libpst) run on a store, so tests see what other programs see.
#pragma once

#include <string>

#include "support/testing/command.h"

namespace baleport::pst::testing {

// pypff's view: one line per folder "F <path> items=<n> subfolders=<n>" and per item
// "M <path> | <subject> | <sender> | attachments=<list> | body=<len>", where <list> holds
// "name:size:CRC32" (upper-case hex) of each attachment's bytes as pypff reads them.
baleport::testing::CommandResult PypffDump(const std::string& pst);
// readpst -D -j 0 into `out_dir`.
baleport::testing::CommandResult ReadPst(const std::string& pst, const std::string& out_dir);
// pffinfo, readpst, pstsdk (full validation, checksums) and java-libpst on one store: what
// each that did not read every item said, or "" when all did. pstsdk and java-libpst are
// built from ../shared/readers into the build tree; where they are not, they are skipped.
std::string ReaderFailures(const std::string& pst);

// A fresh empty directory under the test temp folder.
std::string TempDir(const std::string& name);
// A copy of `file` in a fresh directory, under its own name, that its owner may write.
std::string WritableCopy(const std::string& file);

}  // namespace baleport::pst::testing
