// Little-endian integers in byte buffers: every integer in a .pst and in a compound file
// is stored so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace baleport {

template <typename T>
T LoadLe(const void* p) {
  T v = 0;
  const auto* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < sizeof(T); ++i) v |= static_cast<T>(static_cast<T>(b[i]) << (8 * i));
  return v;
}

template <typename T>
T LoadLe(std::string_view s, size_t off) { return LoadLe<T>(s.data() + off); }

template <typename T>
void StoreLe(void* p, T v) {
  auto* b = static_cast<unsigned char*>(p);
  for (size_t i = 0; i < sizeof(T); ++i) b[i] = static_cast<unsigned char>(static_cast<uint64_t>(v) >> (8 * i));
}

template <typename T>
void AppendLe(std::string& s, T v) {
  char b[sizeof(T)];
  StoreLe<T>(b, v);
  s.append(b, sizeof(T));
}

}  // namespace baleport
