// Owners for the handles that the host services hand out: each closes its handle, through the
// host that opened it, when it goes out of scope. One template over a traits type; each handle
// kind is then one line.
#pragma once

#include <utility>

#include "host/host.h"

namespace vorsk {

template <typename Traits>
class unique_host_handle {
 public:
  using handle_type = typename Traits::handle_type;

  explicit unique_host_handle(Host& host) noexcept : host_(&host) {}
  unique_host_handle(Host& host, handle_type value) noexcept : host_(&host), value_(value) {}
  ~unique_host_handle() { reset(); }

  unique_host_handle(const unique_host_handle&) = delete;
  unique_host_handle& operator=(const unique_host_handle&) = delete;
  unique_host_handle(unique_host_handle&& other) noexcept
      : host_(other.host_), value_(other.release()) {}
  unique_host_handle& operator=(unique_host_handle&& other) noexcept {
    if (this != &other) {
      reset(other.release());
      host_ = other.host_;
    }
    return *this;
  }

  handle_type get() const noexcept { return value_; }
  bool is_valid() const noexcept { return Traits::is_valid(value_); }
  explicit operator bool() const noexcept { return is_valid(); }

  // Gives up ownership without closing.
  handle_type release() noexcept { return std::exchange(value_, Traits::invalid()); }

  void reset(handle_type value = Traits::invalid()) noexcept {
    handle_type old = std::exchange(value_, value);
    if (Traits::is_valid(old)) {
      Traits::close(*host_, old);
    }
  }

  // For out-parameters: closes what is held, then lends the storage to the call that opens.
  handle_type& put() noexcept {
    reset();
    return value_;
  }

 private:
  Host* host_;
  handle_type value_ = Traits::invalid();
};

struct hkey_traits {
  using handle_type = RegKey;
  static constexpr RegKey invalid() noexcept { return kNullKey; }
  static constexpr bool is_valid(RegKey key) noexcept {
    return key != kNullKey && key != kLocalMachine;
  }
  static void close(Host& host, RegKey key) noexcept { host.RegCloseKey(key); }
};

struct hfile_traits {
  using handle_type = FileHandle;
  static constexpr FileHandle invalid() noexcept { return kInvalidFile; }
  static constexpr bool is_valid(FileHandle file) noexcept {
    return file != kInvalidFile && file != FileHandle{0};
  }
  static void close(Host& host, FileHandle file) noexcept { host.CloseHandle(file); }
};

struct hdevinfo_traits {
  using handle_type = DevInfoSet;
  static constexpr DevInfoSet invalid() noexcept { return kInvalidDevInfoSet; }
  static constexpr bool is_valid(DevInfoSet set) noexcept { return set != kInvalidDevInfoSet; }
  static void close(Host& host, DevInfoSet set) noexcept { host.SetupDiDestroyDeviceInfoList(set); }
};

struct hlocal_traits {
  using handle_type = void*;
  static constexpr void* invalid() noexcept { return nullptr; }
  static constexpr bool is_valid(void* memory) noexcept { return memory != nullptr; }
  static void close(Host& host, void* memory) noexcept { host.LocalFree(memory); }
};

using unique_hkey = unique_host_handle<hkey_traits>;
using unique_hfile = unique_host_handle<hfile_traits>;
using unique_hdevinfo = unique_host_handle<hdevinfo_traits>;
using unique_hlocal = unique_host_handle<hlocal_traits>;

}  // namespace vorsk
