// Every sample .msg imports into a store, and the store, read by pypff, holds what
// olefile reads in the file (compare_import.py; the differences the store owns are
// written down there); its heaps and nodes are laid out as in Outlook's stores.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "import/msg_to_item.h"
#include "pst/tests/heap_layout.h"
#include "pst/tests/outlook_layout.h"
#include "pst/tests/store_testing.h"

namespace baleport::import {
namespace {

namespace fs = std::filesystem;
using pst::testing::Must;
using pst::testing::MustOk;
using pst::testing::Quote;

std::vector<std::string> Samples() {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(fs::path(BALEPORT_SAMPLES_DIR) / "msg", ec)) {
    if (entry.path().extension() == ".msg") out.push_back(entry.path().string());
  }
  std::sort(out.begin(), out.end());
  return out;
}

TEST(SampleImport, EverySampleReadsBackAsTheFileHoldsIt) {
  const std::vector<std::string> samples = Samples();
  if (samples.empty()) GTEST_SKIP() << "no samples in " BALEPORT_SAMPLES_DIR "/msg";
  const std::string path = pst::testing::TempDir("samples") + "/samples.pst";
  auto store = Must(pst::Store::Create(path, "Samples"));
  MustOk(store->EnsureStandardFolders());
  const pst::FolderId inbox = Must(store->DefaultFolder(pst::StandardFolder::kInbox));
  std::string arguments;
  for (const std::string& sample : samples) {
    SCOPED_TRACE(sample);
    auto item = Must(store->NewMessage(inbox));
    Must(ImportMessageFile(sample, *item, *store));
    MustOk(item->Save());
    arguments += " " + Quote(sample);
  }
  MustOk(store->Close());

  pst::testing::VerifiedDump(path);
  EXPECT_EQ(pst::testing::HeapLayoutFaults(path), std::vector<std::string>());
  const std::vector<std::string> outlook = pst::testing::OutlookSamples(BALEPORT_SAMPLES_DIR);
  if (!outlook.empty()) {
    EXPECT_EQ(pst::testing::LayoutDifferences(path, outlook), std::vector<std::string>());
  }
  const pst::testing::CommandResult compared =
      pst::testing::Run("/usr/bin/python3 " BALEPORT_IMPORT_TESTS_DIR "/compare_import.py " + Quote(path) + arguments);
  EXPECT_EQ(compared.exit_code, 0);
  EXPECT_EQ(compared.output, "");
}

}  // namespace
}  // namespace baleport::import
