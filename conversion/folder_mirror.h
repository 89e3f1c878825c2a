// Recreates the source folder's subfolder tree in the store. Source folders named Inbox
// and Sent at the top map onto the store's default folders; a few default-folder names
// are never created.
#pragma once

#include "conversion/run_context.h"
#include "files/keyed_collection.h"
#include "support/mod_main.h"

namespace baleport {

// A missing parent is created from the name the store reports missing; the attempts
// end when the same name is reported twice in a row or after this many.
inline constexpr int kMaxParentAttempts = 32;

// The distinct relative paths (store form, see RelativeStoreForm) of the folders of
// `foundFolders` that still exist, sorted; a single empty entry when there are none.
TextList BuildFolderList(RunContext& run, const KeyedCollection& foundFolders);

// Creates the folders of the list in order. A failing lookup or addition is passed
// over: the folder is then absent and the messages meant for it fail to import.
void CreateFolders(RunContext& run, const TextList& folderList);

// Relative paths that are never created: "\Inbox", and any path ending in one of the
// default-folder names ("\Calendar", "\Sent", ...).
bool IsReservedFolder(const std::string& relative);

}  // namespace baleport
