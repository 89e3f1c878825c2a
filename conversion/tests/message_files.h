// Message files for the tests of the run over the real store: small .msg files made by
// the reader's fixture writer, and files that are not messages.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "msg/testing/msg_writer.h"

namespace baleport::testing {

// A message whose subject is `subject` and, when `attachment` is set, one attachment; its
// body is padded to `bodySize` characters when that is larger.
inline std::string WriteMessageFile(const std::string& path, const std::string& subject, bool attachment = false,
                                    size_t bodySize = 0) {
  msg::testing::FixtureFile f;
  std::string body = "Body of " + subject;
  if (body.size() < bodySize) body.resize(bodySize, '.');
  f.message.Unicode(0x001A, "IPM.Note").Unicode(0x0037, subject).Unicode(0x1000, body);
  if (attachment) {
    msg::testing::FixtureAttachment a;
    a.Unicode(0x3707, "note.txt").Int32(0x3705, 1).Binary(0x3701, {'h', 'i'});
    f.message.attachments.push_back(a);
  }
  const Status written = msg::testing::WriteMsgToPath(f, path);
  EXPECT_TRUE(written.ok()) << written.message();
  return path;
}

// A file named like a message that is not one.
inline std::string WriteBrokenFile(const std::string& path) {
  std::ofstream(path, std::ios::binary) << "not a compound file";
  return path;
}

}  // namespace baleport::testing
