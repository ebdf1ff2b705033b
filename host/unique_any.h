// The one owner of every kind of handle: it closes its handle when it goes out of scope. A traits
// type names the handle type, its invalid value, what counts as valid, and the close policy; each
// handle kind is then one line. The close policy may need a context: the handles of the host
// services are closed through the host that opened them (host/handles.h), the platform's own
// handles with no context at all (host/win32/win32_handles.h, framework/handles.h).
//
// This header is portable: it includes no platform header.
#pragma once

#include <type_traits>
#include <utility>

namespace vorsk {

// The context of a close policy that needs none.
struct no_close_context {};

template <typename Traits>
class unique_any {
 public:
  using pointer = typename Traits::pointer;
  using context_type = typename Traits::context_type;

  // An empty owner, for handle kinds whose close needs no context.
  template <typename C = context_type, std::enable_if_t<std::is_empty_v<C>, int> = 0>
  unique_any() noexcept {}
  template <typename C = context_type, std::enable_if_t<std::is_empty_v<C>, int> = 0>
  explicit unique_any(pointer value) noexcept : value_(value) {}
  // An owner whose close goes through `context` (the host that opened the handle).
  explicit unique_any(context_type context, pointer value = Traits::invalid()) noexcept
      : context_(context), value_(value) {}
  ~unique_any() { reset(); }

  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;
  unique_any(unique_any&& other) noexcept : context_(other.context_), value_(other.release()) {}
  unique_any& operator=(unique_any&& other) noexcept {
    if (this != &other) {
      reset(other.release());
      context_ = other.context_;
    }
    return *this;
  }

  pointer get() const noexcept { return value_; }
  bool is_valid() const noexcept { return Traits::is_valid(value_); }
  explicit operator bool() const noexcept { return is_valid(); }

  // Gives up ownership without closing.
  pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }

  void reset(pointer value = Traits::invalid()) noexcept {
    pointer old = std::exchange(value_, value);
    if (Traits::is_valid(old)) {
      Traits::close(context_, old);
    }
  }

  // For out-parameters: closes what is held, then lends the storage to the call that opens.
  pointer* put() noexcept {
    reset();
    return &value_;
  }

 private:
  context_type context_{};
  pointer value_ = Traits::invalid();
};

}  // namespace vorsk
