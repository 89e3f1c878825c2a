// File names as FindFirstFile compares them: patterns with the Windows wildcards, and
// the order of names in an NTFS folder.
#pragma once

#include <string_view>

namespace baleport {

bool HasWildcards(std::string_view pattern);

// '*' matches any run of characters, '?' one character, and a '.' followed only by
// wildcards also matches the end of the name (so "*.*" matches "README"). Windows may
// also match a pattern against a name's 8.3 short form ("*.msg" finding "a.msgx"); POSIX
// names have no short form. Letters match without regard to case (ASCII, Latin-1, Greek,
// Cyrillic and full-width Latin), by UTF-16 code unit as Windows compares them.
bool MatchesWildcard(std::string_view pattern, std::string_view name);

// The NTFS order of names: UTF-16 code units with the letters above upper-cased. Names
// that differ only in case (two folders on a POSIX system) follow in binary UTF-16 order.
bool NameLess(std::string_view a, std::string_view b);

}  // namespace baleport
