// File names as FindFirstFile compares them: patterns with the Windows wildcards, and
// the order of names in an NTFS folder.
#pragma once

#include <algorithm>
#include <iterator>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/utf16_order.h"

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
// What NameLess compares first: the name in UTF-16 with those letters upper-cased.
std::u16string NameKey(std::string_view name);

// [first, last) into NameLess order of name_of(item), each name converted once rather than
// at every comparison (a folder of non-ASCII names).
template <typename It, typename NameOf>
void SortByName(It first, It last, NameOf name_of) {
  using Item = typename std::iterator_traits<It>::value_type;
  std::vector<std::pair<std::u16string, Item>> keyed;
  keyed.reserve(static_cast<size_t>(std::distance(first, last)));
  for (It it = first; it != last; ++it) keyed.emplace_back(NameKey(name_of(*it)), std::move(*it));
  std::sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : Utf16Less(name_of(a.second), name_of(b.second));
  });
  for (auto& [key, item] : keyed) *first++ = std::move(item);
}

}  // namespace baleport
