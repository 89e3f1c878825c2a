// What the folder mirroring and the message import share during one conversion call.
#pragma once

#include <string>

#include "conversion/page_controls.h"
#include "conversion/store/store_interface.h"

namespace baleport {

struct RunContext {
  PageControls& controls;
  RDOSession& session;
  std::string storeEntryId;
  std::string storeDisplayName;
  std::string inboxName;   // the store's own name of its default Inbox
  std::string sentName;    // ... and of its Sent Items
  std::string sourceRoot;  // the folder whose tree is mirrored, as the selection gives it
  bool skipExisting = false;  // messages already in the store are not imported again

  void Yield() { controls.ProcessPendingEvents(); }
};

}  // namespace baleport
