// The independent readers (libpff's pffinfo and pypff, libpst's readpst, Microsoft's pstsdk,
// java-libpst) run on a store, so tests see what other programs see.
#pragma once

#include <string>

#include "support/testing/command.h"

namespace baleport::pst::testing {

using baleport::testing::CommandResult;
using baleport::testing::Quote;
using baleport::testing::Run;

// pypff's view: one line per folder "F <path> items=<n> subfolders=<n>" and per item
// "M <path> | <subject> | <sender> | attachments=<list> | body=<len>", where <list> holds
// "name:size:CRC32" (upper-case hex) of each attachment's bytes as pypff reads them.
CommandResult PypffDump(const std::string& pst);
// pffinfo must open the file; its output.
CommandResult PffInfo(const std::string& pst);
// readpst -D -j 0 into a fresh folder; output lists what it wrote. Returns the folder's listing
// ("<relative path> <bytes>" per file) after the run output.
CommandResult ReadPst(const std::string& pst, const std::string& out_dir);
// The walkers of pstsdk (full validation, checksums) and java-libpst, built from
// ../shared/readers into the build tree: exit 0 when every item was read. Where they were not
// built, exit 0 with the reason as output.
CommandResult PstsdkWalk(const std::string& pst);
CommandResult LibpstWalk(const std::string& pst);
// libpff (pffinfo), libpst (readpst), pstsdk and java-libpst on one store: what each that
// did not read every item said, or "" when all did.
std::string ReaderFailures(const std::string& pst);
// lspst's listing.
CommandResult LsPst(const std::string& pst);
// pffexport of every item into a fresh folder.
CommandResult PffExport(const std::string& pst);

// A fresh empty directory under the test temp folder.
std::string TempDir(const std::string& name);
// A copy of `file` in a fresh directory, under its own name, that its owner may write.
std::string WritableCopy(const std::string& file);

}  // namespace baleport::pst::testing
