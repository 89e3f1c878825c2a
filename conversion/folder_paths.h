// Folder paths: source folders made relative to the source root, folder by folder, the
// mapping onto the store's default folders, and the store's "\" form shown for them; and
// the small text helpers they need.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace baleport {

// The text without leading and trailing blanks.
std::string TrimBlanks(std::string_view text);

// Every occurrence of `from` in `text` replaced by `to`; `from` must not be empty.
std::string ReplaceAll(std::string text, std::string_view from, std::string_view to);

// A folder path below a root as the names between its separators, the root taken off
// the front. Joined with "\" the pieces give the path in the store's form: "/Mail/Box/
// Projects/2019" under "/Mail/Box" gives {"", "Projects", "2019"} ("\Projects\2019"), a
// leading empty piece standing for the leading "\"; under a root that ends with the
// separator ("/" or "D:\") there is none: {"Projects", "2019"}. A name may hold "\" on
// systems whose separator is "/", and stays one piece: the store gets one folder of that
// name, not two nested ones.
using FolderPieces = std::vector<std::string>;

// Only the leading root is removed: the root's text may recur further in (under "/",
// every separator does). A path ending with the separator ends with an empty piece.
FolderPieces RelativePieces(const std::string& path, const std::string& root);

// The pieces with "\" between them: the form shown and logged.
std::string JoinPieces(const FolderPieces& pieces);

// The relative path with its first folder "Inbox" or "Sent" (after a leading empty piece,
// if any) replaced by the store's own name for that default folder; any other path
// unchanged. Deeper folders of those names are ordinary folders.
FolderPieces MapDefaultFolders(FolderPieces relative, const std::string& inboxName, const std::string& sentName);


}  // namespace baleport
