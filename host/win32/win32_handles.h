// Owners for the platform's own handles, for code that calls the platform directly (the Windows
// tests and tools). One template over the handle type, its close function and its invalid values.
#pragma once

#include <utility>

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

namespace vorsk::win32 {

template <typename Traits>
class unique_any {
 public:
  using pointer = typename Traits::pointer;

  unique_any() noexcept = default;
  explicit unique_any(pointer value) noexcept : value_(value) {}
  ~unique_any() { reset(); }
  unique_any(const unique_any&) = delete;
  unique_any& operator=(const unique_any&) = delete;
  unique_any(unique_any&& other) noexcept : value_(other.release()) {}
  unique_any& operator=(unique_any&& other) noexcept {
    reset(other.release());
    return *this;
  }

  pointer get() const noexcept { return value_; }
  bool is_valid() const noexcept { return Traits::is_valid(value_); }
  explicit operator bool() const noexcept { return is_valid(); }
  pointer release() noexcept { return std::exchange(value_, Traits::invalid()); }
  void reset(pointer value = Traits::invalid()) noexcept {
    pointer old = std::exchange(value_, value);
    if (Traits::is_valid(old)) {
      Traits::close(old);
    }
  }
  pointer* put() noexcept {
    reset();
    return &value_;
  }

 private:
  pointer value_ = Traits::invalid();
};

struct hkey_traits {
  using pointer = HKEY;
  static HKEY invalid() noexcept { return nullptr; }
  static bool is_valid(HKEY key) noexcept { return key != nullptr; }
  static void close(HKEY key) noexcept { ::RegCloseKey(key); }
};

struct hfile_traits {
  using pointer = HANDLE;
  static HANDLE invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool is_valid(HANDLE file) noexcept {
    return file != INVALID_HANDLE_VALUE && file != nullptr;
  }
  static void close(HANDLE file) noexcept { ::CloseHandle(file); }
};

struct handle_traits : hfile_traits {
  static HANDLE invalid() noexcept { return nullptr; }
};

struct hdevinfo_traits {
  using pointer = HDEVINFO;
  static HDEVINFO invalid() noexcept { return INVALID_HANDLE_VALUE; }
  static bool is_valid(HDEVINFO set) noexcept { return set != INVALID_HANDLE_VALUE; }
  static void close(HDEVINFO set) noexcept { ::SetupDiDestroyDeviceInfoList(set); }
};

struct hlocal_traits {
  using pointer = HLOCAL;
  static HLOCAL invalid() noexcept { return nullptr; }
  static bool is_valid(HLOCAL memory) noexcept { return memory != nullptr; }
  static void close(HLOCAL memory) noexcept { ::LocalFree(memory); }
};

using unique_hkey = unique_any<hkey_traits>;
using unique_hfile = unique_any<hfile_traits>;
using unique_handle = unique_any<handle_traits>;
using unique_hdevinfo = unique_any<hdevinfo_traits>;
using unique_hlocal = unique_any<hlocal_traits>;

}  // namespace vorsk::win32
