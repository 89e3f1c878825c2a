#include "pst/tests/readers.h"

#include <filesystem>

#include "files/tests/test_tree.h"

namespace baleport::pst::testing {

using baleport::testing::CommandResult;
using baleport::testing::Quote;
using baleport::testing::Run;

CommandResult PypffDump(const std::string& pst) {
  return Run("/usr/bin/python3 " BALEPORT_PST_TESTS_DIR "/pypff_dump.py " + Quote(pst));
}

CommandResult ReadPst(const std::string& pst, const std::string& out_dir) {
  return Run("readpst -D -j 0 -o " + Quote(out_dir) + " " + Quote(pst));
}

namespace {

// One folder for the whole process, removed when it ends normally.
const baleport::testing::TestTree kTempRoot;

// One of the stricter readers, skipped (saying so) where they were not built: no ../shared
// next to the project.
CommandResult Walk(const std::string& command, const std::string& pst) {
  const std::filesystem::path dir = BALEPORT_READERS_DIR;
  if (!std::filesystem::exists(dir / "pstsdk_walk") || !std::filesystem::exists(dir / "java-libpst/com/pff/LibpstWalk.class")) {
    return {0, "skipped: pstsdk and java-libpst are not built in " + dir.string() + " (../shared/readers is absent)"};
  }
  // pstsdk takes ASCII paths only; java-libpst is known to loop on some damaged stores.
  const std::string link = TempDir("judge") + "/store.pst";
  std::filesystem::create_symlink(std::filesystem::absolute(pst), link);
  return Run("timeout 300 " + command + " " + Quote(link));
}

}  // namespace

std::string ReaderFailures(const std::string& pst) {
  std::string failures;
  auto note = [&](const std::string& who, const CommandResult& r) {
    if (r.exit_code != 0) failures += who + " failed (" + std::to_string(r.exit_code) + ") on " + pst + ":\n" + r.output + "\n";
  };
  note("pffinfo", Run("pffinfo " + Quote(pst)));
  note("readpst", ReadPst(pst, TempDir("readpst")));
  note("pstsdk", Walk(Quote(std::string(BALEPORT_READERS_DIR) + "/pstsdk_walk"), pst));
  note("java-libpst", Walk("java -cp " + Quote(std::string(BALEPORT_READERS_DIR) + "/java-libpst") + " com.pff.LibpstWalk", pst));
  return failures;
}

std::string TempDir(const std::string& name) {
  static int counter = 0;
  return kTempRoot.Folder(name + "-" + std::to_string(counter++));
}

std::string WritableCopy(const std::string& file) {
  const std::filesystem::path from(file);
  const std::filesystem::path to = TempDir("copy") / from.filename();
  std::filesystem::copy_file(from, to);
  std::filesystem::permissions(to, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
  return to.string();
}

}  // namespace baleport::pst::testing
