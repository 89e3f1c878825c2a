// Mutated sample messages converted with --delete-source: each arrives with every top-level
// property its file holds (olefile on a kept copy against pypff on the store) or stays and is
// logged; none is deleted half read. BALEPORT_MUTATIONS sets the number per kind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <set>
#include <sstream>

#include "conversion/store/source_index.h"
#include "conversion/tests/failed_in_log.h"
#include "files/tests/test_tree.h"
#include "proof/mailbox.h"
#include "support/hex.h"
#include "support/little_endian.h"

namespace baleport::proof {
namespace {

namespace fs = std::filesystem;
using Bytes = std::string;

// Changed directory, FAT and mini-FAT entries leave streams the reader cannot place: the
// message must fail rather than drop what they hold.
enum class Kind { kBitFlips, kByteRun, kCut, kDirectoryEntry, kFatEntry, kMiniFatEntry };
constexpr const char* kKindNames[] = {"bit-flips", "byte-run", "cut", "directory-entry", "fat-entry", "mini-fat-entry"};

// A random 4-byte entry of the sector named at `headerField` (the first directory, FAT or
// mini-FAT sector): false when the file has no such sector.
bool OverwriteEntryOfSector(Bytes& file, size_t headerField, size_t entrySize, size_t entryField, std::mt19937& rng) {
  if (file.size() < 512) return false;
  auto* bytes = reinterpret_cast<uint8_t*>(file.data());
  const uint32_t sector = LoadLe<uint32_t>(bytes + headerField);
  const uint64_t at = (uint64_t{sector} + 1) << (LoadLe<uint16_t>(bytes + 0x1E) == 12 ? 12 : 9);
  if (sector >= 0xFFFFFFFA || at + 512 > file.size()) return false;
  const uint64_t entry = at + std::uniform_int_distribution<uint64_t>(0, 512 / entrySize - 1)(rng) * entrySize;
  if (entryField == 0x42) {
    bytes[entry + entryField] = static_cast<uint8_t>(std::uniform_int_distribution<uint32_t>(0, 5)(rng));  // the type
  } else {
    StoreLe<uint32_t>(bytes + entry + entryField, static_cast<uint32_t>(rng()));
  }
  return true;
}

// One mutation of `file` of `kind`; false when it does not apply to this file.
bool Mutate(Bytes& file, Kind kind, std::mt19937& rng) {
  auto offset = [&](size_t size) { return std::uniform_int_distribution<size_t>(0, size - 1)(rng); };
  switch (kind) {
    case Kind::kBitFlips:
      for (int i = std::uniform_int_distribution<int>(1, 8)(rng); i > 0; --i) {
        file[offset(file.size())] ^= static_cast<char>(1 << std::uniform_int_distribution<int>(0, 7)(rng));
      }
      return true;
    case Kind::kByteRun: {
      const size_t at = offset(file.size());
      const size_t n = std::min(file.size() - at, std::uniform_int_distribution<size_t>(1, 64)(rng));
      for (size_t i = 0; i < n; ++i) file[at + i] = static_cast<char>(rng());
      return true;
    }
    case Kind::kCut:
      file.resize(offset(file.size()));
      return true;
    case Kind::kDirectoryEntry:
      return OverwriteEntryOfSector(file, 0x30, 128, std::uniform_int_distribution<int>(0, 2)(rng) == 0 ? 0x74 : 0x42,
                                    rng);
    case Kind::kFatEntry:
      return OverwriteEntryOfSector(file, 0x4C, 4, 0, rng);
    case Kind::kMiniFatEntry:
      return OverwriteEntryOfSector(file, 0x3C, 4, 0, rng);
  }
  return false;
}

TEST(Mutations, EveryMessageArrivesWholeOrStaysLogged) {
  const fs::path samples = fs::path(BALEPORT_SAMPLES_DIR) / "msg";
  if (!fs::exists(samples)) GTEST_SKIP() << "the sample messages are not present in " << samples;
  std::vector<Bytes> originals;
  for (const auto& entry : fs::directory_iterator(samples)) {
    if (entry.path().extension() == ".msg") originals.push_back(baleport::testing::ReadAll(entry.path().string()));
  }
  ASSERT_FALSE(originals.empty());
  const int perKind = EnvironmentNumber("BALEPORT_MUTATIONS", 24);
  std::mt19937 rng(static_cast<unsigned>(EnvironmentNumber("BALEPORT_PROOF_SEED", 20261207)));
  testing::TestTree tree;

  for (size_t k = 0; k < std::size(kKindNames); ++k) {
    const std::string name = kKindNames[k];
    SCOPED_TRACE(name);
    const std::string source = tree.Folder("mail-" + name), kept = tree.Folder("kept-" + name);
    const std::string mapPath = tree.Path("map-" + name + ".tsv");
    std::ofstream map(mapPath);
    std::set<std::string> digests, files;
    for (int n = 0, tries = 0; n < perKind && tries < perKind * 20; ++tries) {
      Bytes file = originals[static_cast<size_t>(tries) % originals.size()];
      if (!Mutate(file, static_cast<Kind>(k), rng)) continue;
      const std::string file_name = "/m" + std::to_string(n) + ".msg";
      std::ofstream(kept + file_name, std::ios::binary) << file;
      Result<std::string> digest = SourceDigest(*Env::Default(), kept + file_name);
      ASSERT_TRUE(digest.ok()) << digest.status().message();
      if (!digests.insert(*digest).second) continue;  // the same bytes twice are one message
      fs::copy_file(kept + file_name, source + file_name);
      for (const char c : *digest) map << Hex(static_cast<uint8_t>(c), 2);
      map << '\t' << kept << file_name << '\n';
      files.insert(source + file_name);
      ++n;
    }
    map.close();

    const std::string store = tree.Path(name + ".pst");
    const testing::CommandResult run = Baleport({"convert", "--quiet", "--delete-source", source, "-o", store});
    ASSERT_NE(run.exit_code, 2) << run.output;
    // Values are copied as the damaged files hold them (a compressed RTF body cut short), which
    // the stricter readers refuse; what arrived is judged below against the files themselves.
    const StoreView view = ReadStore(store, /*everyReader=*/false);
    EXPECT_EQ(view.failures, "");

    const std::set<std::string> logged = testing::FailedInLog(tree.Path(name + ".log"));
    size_t deleted = 0;
    for (const std::string& file : files) {
      if (fs::exists(file)) {
        EXPECT_TRUE(logged.contains(file)) << file << " stayed without being logged";
      } else {
        ++deleted;
      }
    }
    const testing::CommandResult judged = testing::Run("/usr/bin/python3 " + testing::Quote(BALEPORT_MUTATION_JUDGE) + " --sources " +
                                                       testing::Quote(mapPath) + " " + testing::Quote(store));
    ASSERT_EQ(judged.exit_code, 0) << judged.output;
    EXPECT_THAT(judged.output, ::testing::Not(::testing::HasSubstr("MISSING"))) << "converted half read";
    size_t matched = 0, unjudged = 0;
    std::istringstream lines(judged.output);
    for (std::string line; std::getline(lines, line);) {
      unjudged += line.starts_with("UNJUDGED ");
      if (line.starts_with("JUDGED ")) matched = std::stoul(line.substr(7));
    }
    EXPECT_EQ(matched + unjudged, deleted) << "a deleted source has no item of its own";
    std::cout << "proof: mutations: " << name << ": " << files.size() << " messages, " << deleted
              << " converted and deleted (" << unjudged << " that olefile cannot read), " << logged.size()
              << " kept and logged\n";
  }
}

}  // namespace
}  // namespace baleport::proof
