// Recreates the source folder's subfolder tree in the store. Source folders named Inbox
// and Sent at the top map onto the store's default folders; a few default-folder names
// are never created. Store folders are reached name by name from the store's top folder,
// so that a name holding "\" is one folder.
#pragma once

#include <memory>
#include <vector>

#include "conversion/folder_paths.h"
#include "conversion/run_context.h"
#include "files/keyed_collection.h"

namespace baleport {

// A missing parent is created from the name the store reports missing; the attempts
// end when the same name is reported twice in a row or after this many.
inline constexpr int kMaxParentAttempts = 32;

// The distinct relative paths (see RelativePieces) of the folders of `foundFolders` that
// still exist, in the binary UTF-16 order of their store form (JoinPieces).
std::vector<FolderPieces> BuildFolderList(RunContext& run, const KeyedCollection& foundFolders);

// Creates the folders of the list in order. A failing lookup or addition is passed
// over: the folder is then absent and the messages meant for it fail to import.
void CreateFolders(RunContext& run, const std::vector<FolderPieces>& folderList);

// The store folder at `pieces` below the store's top folder, empty pieces passed over;
// a MissingFolder failure when a folder on the way is missing.
Result<std::unique_ptr<RDOFolder>> OpenStoreFolder(RunContext& run, const FolderPieces& pieces);

// Relative paths that are never created: "\Inbox", and any path of more than one piece
// ending in one of the default-folder names ("\Calendar", "\Sent", ...).
bool IsReservedFolder(const FolderPieces& relative);

}  // namespace baleport
