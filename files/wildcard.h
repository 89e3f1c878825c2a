// File names as FindFirstFile compares them: patterns with the Windows wildcards, and
// the order of names in an NTFS folder.
#pragma once

#include <algorithm>
#include <iterator>
#include <numeric>
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
// What NameLess compares first, as bytes in the same order: the name's UTF-16 units with
// those letters upper-cased, each unit high byte first (compared as bytes, not unit by unit).
std::string NameKey(std::string_view name);
// The same from the name's UTF-16.
std::string NameKey(std::u16string_view units);
// Names whose keys are equal, by their code units.
inline bool UnitsLess(std::string_view a, std::string_view b) { return Utf16Less(a, b); }
inline bool UnitsLess(std::u16string_view a, std::u16string_view b) { return a < b; }

// [first, last) (random access) into NameLess order of name_of(item), the name as UTF-8 or
// as UTF-16 (where the caller holds it already); each name's key made once rather than at
// every comparison, and the items moved once, after the sort of their positions.
template <typename It, typename NameOf>
void SortByName(It first, It last, NameOf name_of) {
  using Item = typename std::iterator_traits<It>::value_type;
  const auto count = static_cast<size_t>(last - first);
  std::vector<std::string> keys;
  keys.reserve(count);
  for (It it = first; it != last; ++it) keys.push_back(NameKey(name_of(*it)));
  std::vector<size_t> order(count);
  std::iota(order.begin(), order.end(), size_t{0});
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const int c = keys[a].compare(keys[b]);
    return c != 0 ? c < 0 : UnitsLess(name_of(first[a]), name_of(first[b]));
  });
  std::vector<Item> sorted;
  sorted.reserve(count);
  for (const size_t i : order) sorted.push_back(std::move(first[i]));
  std::move(sorted.begin(), sorted.end(), first);
}

}  // namespace baleport
