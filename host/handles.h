// Owners for the handles that the host services hand out: each closes its handle, through the
// host that opened it, when it goes out of scope.
#pragma once

#include "host/host.h"
#include "host/unique_any.h"

namespace vorsk {

// The close policy's context: the host that opened the handle.
struct HostContext {
  HostContext() = default;
  HostContext(Host& opener) : host(&opener) {}  // NOLINT: an owner is made from its host
  Host* host = nullptr;
};

struct hkey_traits {
  using pointer = RegKey;
  using context_type = HostContext;
  static constexpr RegKey invalid() noexcept { return kNullKey; }
  // The predefined root is never closed.
  static constexpr bool is_valid(RegKey key) noexcept {
    return key != kNullKey && key != kLocalMachine;
  }
  static void close(HostContext context, RegKey key) noexcept { context.host->RegCloseKey(key); }
};

struct hfile_traits {
  using pointer = FileHandle;
  using context_type = HostContext;
  static constexpr FileHandle invalid() noexcept { return kInvalidFile; }
  static constexpr bool is_valid(FileHandle file) noexcept {
    return file != kInvalidFile && file != FileHandle{0};
  }
  static void close(HostContext context, FileHandle file) noexcept {
    context.host->CloseHandle(file);
  }
};

struct hfolder_traits {
  using pointer = FolderHandle;
  using context_type = HostContext;
  static constexpr FolderHandle invalid() noexcept { return kNoFolder; }
  static constexpr bool is_valid(FolderHandle folder) noexcept { return folder != kNoFolder; }
  static void close(HostContext context, FolderHandle folder) noexcept {
    context.host->CloseFolder(folder);
  }
};

struct hdevinfo_traits {
  using pointer = DevInfoSet;
  using context_type = HostContext;
  static constexpr DevInfoSet invalid() noexcept { return kInvalidDevInfoSet; }
  static constexpr bool is_valid(DevInfoSet set) noexcept { return set != kInvalidDevInfoSet; }
  static void close(HostContext context, DevInfoSet set) noexcept {
    context.host->SetupDiDestroyDeviceInfoList(set);
  }
};

struct hlocal_traits {
  using pointer = void*;
  using context_type = HostContext;
  static constexpr void* invalid() noexcept { return nullptr; }
  static constexpr bool is_valid(void* memory) noexcept { return memory != nullptr; }
  static void close(HostContext context, void* memory) noexcept { context.host->LocalFree(memory); }
};

using unique_hkey = unique_any<hkey_traits>;
using unique_hfile = unique_any<hfile_traits>;
using unique_hfolder = unique_any<hfolder_traits>;
using unique_hdevinfo = unique_any<hdevinfo_traits>;
using unique_hlocal = unique_any<hlocal_traits>;

}  // namespace vorsk
