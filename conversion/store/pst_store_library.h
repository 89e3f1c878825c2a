// The message-store interface over the store engine: sessions open or create Unicode
// .pst files with pst::Store, items are filled by import/ from .msg files.
//
// Decided here:
// - LogonPstStore opens the file when something exists at the path (refused with the
//   engine's reason when it is not a Unicode store) and creates a store otherwise. The
//   display name is the session's name for the store; an existing store keeps the name
//   in its file.
// - HrSetOneProp's saveChanges needs nothing more: an engine item keeps what is set
//   until RDOMail::Save stores it.
// - Delete discards an item that was not saved; the engine cannot remove a saved item,
//   which the run never asks for.
// - Logoff closes every store of the session, which commits what was saved.
#pragma once

#include <memory>

#include "conversion/store/store_interface.h"
#include "pst/store.h"

namespace baleport {

class PstStoreLibrary final : public StoreLibrary {
 public:
  explicit PstStoreLibrary(pst::StoreOptions options = {}) : options_(options) {}

  Result<std::unique_ptr<RDOSession>> CreateSession() override;
  Result<std::unique_ptr<MAPIUtils>> CreateMAPIUtils() override;
  // The source's digest, and the file opened and checked.
  std::unique_ptr<SourceRead> ReadSource(const std::string& path, Result<std::unique_ptr<File>> opened) override;

 private:
  pst::StoreOptions options_;
};

}  // namespace baleport
