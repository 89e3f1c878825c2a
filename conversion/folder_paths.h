// The texts of folder paths: source folders made relative to the source root and put
// in the store's "\" form, the mapping onto the store's default folders, and the store
// paths built from them; and the small text helpers they need.
#pragma once

#include <string>
#include <string_view>

namespace baleport {

// The text without leading and trailing blanks.
std::string TrimBlanks(std::string_view text);

// The text with A to Z in lower case; other characters unchanged.
std::string AsciiLowercase(std::string_view text);

// Every occurrence of `from` in `text` replaced by `to`; `from` must not be empty.
std::string ReplaceAll(std::string text, std::string_view from, std::string_view to);

// A file-system path below `root`, without `root` in front and with the platform
// separator turned into "\": "/Mail/Box/Projects/2019" under "/Mail/Box" gives
// "\Projects\2019"; under a root that ends with the separator ("/" or "D:\") the result
// has no leading "\". Only the leading root is removed: the root's text may recur
// further in (under "/", every separator does).
std::string RelativeStoreForm(const std::string& path, const std::string& root);

// The relative path with its first folder "Inbox" or "Sent" (after a leading "\", if
// any) replaced by the store's own name for that default folder; any other path
// unchanged. Deeper folders of those names are ordinary folders.
std::string MapDefaultFolders(const std::string& relative, const std::string& inboxName, const std::string& sentName);

// "\\" + display name + relative path, with one "\" between them.
std::string StoreFolderPath(const std::string& displayName, const std::string& relative);

}  // namespace baleport
