// Owning pointer for GObject instances (libgsf inputs and infiles).
#pragma once

#include <glib-object.h>

#include <utility>

namespace baleport::msg {

template <typename T>
class GPtr {
 public:
  GPtr() = default;
  // Takes over one reference.
  explicit GPtr(T* p) : p_(p) {}
  GPtr(const GPtr& o) : p_(o.p_) {
    if (p_ != nullptr) g_object_ref(p_);
  }
  GPtr(GPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  GPtr& operator=(GPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~GPtr() {
    if (p_ != nullptr) g_object_unref(p_);
  }
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

}  // namespace baleport::msg
