#include "host/win32/text_conversion.h"

#include <windows.h>

namespace vorsk::win32 {

namespace {

std::string BytesOf(const std::wstring& text, UINT codePage) {
  if (text.empty()) {
    return std::string();
  }
  const int length = ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), bytes.data(),
                        length, nullptr, nullptr);
  return bytes;
}

}  // namespace

std::string WideToAnsi(const std::wstring& text) {
  return BytesOf(text, CP_ACP);
}

}  // namespace vorsk::win32
