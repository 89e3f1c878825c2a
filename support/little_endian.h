// Little-endian integers in byte buffers: every integer in a .pst and in a compound file
// is stored so.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace baleport {

// Every target (x86-64 Linux and Windows) is little-endian, so a copy is the conversion: one
// load or store where a loop of shifts was not always merged into one by the compiler.
static_assert(std::endian::native == std::endian::little, "a big-endian build would swap bytes here");

template <typename T>
T LoadLe(const void* p) {
  T v;
  std::memcpy(&v, p, sizeof(T));
  return v;
}

template <typename T>
T LoadLe(std::string_view s, size_t off) { return LoadLe<T>(s.data() + off); }

template <typename T>
void StoreLe(void* p, T v) {
  std::memcpy(p, &v, sizeof(T));
}

template <typename T>
void AppendLe(std::string& s, T v) {
  char b[sizeof(T)];
  StoreLe<T>(b, v);
  s.append(b, sizeof(T));
}

}  // namespace baleport
