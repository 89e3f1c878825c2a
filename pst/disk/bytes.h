// Little-endian field access on byte buffers; every on-disk integer in a .pst is little-endian.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace baleport::pst::disk {

template <typename T>
T Load(const void* p) {
  T v = 0;
  const auto* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < sizeof(T); ++i) v |= static_cast<T>(static_cast<T>(b[i]) << (8 * i));
  return v;
}

template <typename T>
void Store(void* p, T v) {
  auto* b = static_cast<unsigned char*>(p);
  for (size_t i = 0; i < sizeof(T); ++i) b[i] = static_cast<unsigned char>(static_cast<uint64_t>(v) >> (8 * i));
}

template <typename T>
T Load(std::string_view s, size_t off) { return Load<T>(s.data() + off); }

template <typename T>
void Append(std::string& s, T v) {
  char b[sizeof(T)];
  Store<T>(b, v);
  s.append(b, sizeof(T));
}

}  // namespace baleport::pst::disk
