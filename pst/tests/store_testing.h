// Shared by the store tests: every store a test writes goes through the checker and the
// independent readers.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "mapi/tags.h"
#include "pst/check/checker.h"
#include "pst/messaging/node_io.h"
#include "pst/store.h"
#include "pst/tests/readers.h"
#include "support/testing/read_all.h"

namespace baleport::pst::testing {

// The pypff dump of a store that the checker and every independent reader also accept.
inline std::string VerifiedDump(const std::string& path) {
  CheckReport report = CheckStore(Env::Default(), path);
  EXPECT_TRUE(report.ok()) << path << "\n" << report.Summary();
  EXPECT_EQ(ReaderFailures(path), "");
  const auto exported = baleport::testing::Run("pffexport -q -t " + baleport::testing::Quote(TempDir("pffexport") + "/out") + " " +
                                                baleport::testing::Quote(path));
  EXPECT_EQ(exported.exit_code, 0) << exported.output;
  const auto dump = PypffDump(path);
  EXPECT_EQ(dump.exit_code, 0) << dump.output;
  return dump.output;
}

// The messages of a store that the checker and every independent reader accept, as the
// checker counts them.
inline uint64_t VerifiedMessageCount(const std::string& path) {
  VerifiedDump(path);
  return CheckStore(Env::Default(), path).messages;
}

using baleport::testing::ReadAll;
using ::testing::HasSubstr;
using ::testing::Not;

template <typename T>
T Must(Result<T> r) {
  EXPECT_TRUE(r.ok()) << r.status().message();
  if (!r.ok()) throw std::runtime_error(r.status().message());
  return std::move(r).value();
}

inline void MustOk(const Status& s) {
  EXPECT_TRUE(s.ok()) << s.message();
  if (!s.ok()) throw std::runtime_error(s.message());
}

inline std::unique_ptr<Store> OpenReadOnly(const std::string& path) {
  return Must(Store::Open(path, StoreOptions{nullptr, true}));
}

// A store's node database, for tests that change or read a store below the public interface.
inline std::unique_ptr<ndb::NodeDatabase> OpenNodes(const std::string& path, bool update = false) {
  return Must(ndb::NodeDatabase::Open(Must(update ? Env::Default()->OpenForUpdate(path) : Env::Default()->OpenForRead(path))));
}

// Node `nid` rewritten with `props` or as table `t` (keeping its parent and the blocks that did not change).
inline void PutProperties(ndb::NodeDatabase& db, uint32_t nid, const ltp::PropertyMap& props) {
  const NodeStreams s = Must(WritePc(&db, props));
  MustOk(db.SetNode({nid, s.bid_data, s.bid_sub, db.FindNode(nid)->nid_parent}));
}
inline void PutTable(ndb::NodeDatabase& db, uint32_t nid, const ltp::Table& t) {
  const ndb::NodeEntry* old = db.FindNode(nid);
  const NodeStreams s = Must(WriteTc(&db, t, NodeStreams{old->bid_data, old->bid_sub}));
  MustOk(db.SetNode({nid, s.bid_data, s.bid_sub, old->nid_parent}));
}

// A saved item with a subject and a body and, with `attachment`, a small file attached; its id.
inline uint32_t AddMail(Store& store, FolderId folder, const std::string& subject, bool attachment = false) {
  auto m = Must(store.NewMessage(folder));
  MustOk(m->Set(prop::String(mapi::tags::kSubject, subject)));
  MustOk(m->Set(prop::String(mapi::tags::kBody, "body of " + subject)));
  if (attachment) {
    Attachment* a = Must(m->AddAttachment());
    MustOk(a->Set(prop::String(mapi::tags::kAttachLongFilename, subject + ".txt")));
    MustOk(a->Set(prop::Binary(mapi::tags::kAttachDataBinary, "data of " + subject)));
  }
  MustOk(m->Save());
  return m->id();
}

}  // namespace baleport::pst::testing
