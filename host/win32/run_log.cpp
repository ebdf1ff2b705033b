#include "host/win32/run_log.h"

#include <cstdio>

namespace vorsk::win32 {

unique_hfile OpenLogForAppending(const std::wstring& path) {
  const DWORD length = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (length == 0) {
    return unique_hfile();
  }
  std::wstring full(length, L'\0');
  full.resize(::GetFullPathNameW(path.c_str(), length, full.data(), nullptr));
  return unique_hfile(::CreateFileW(full.c_str(), FILE_APPEND_DATA,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr));
}

void AppendLogLine(HANDLE log, const std::string& line) {
  SYSTEMTIME now = {};
  ::GetLocalTime(&now);
  char stamp[32] = {};
  std::snprintf(stamp, sizeof(stamp), "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear, now.wMonth,
                now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  const std::string text = stamp + line + "\r\n";
  DWORD written = 0;
  ::WriteFile(log, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

}  // namespace vorsk::win32
