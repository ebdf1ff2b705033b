#include "tools/machine/win32_text.h"

namespace vorsk::machine {

std::wstring Utf16(const std::string& utf8) {
  std::wstring text(utf8.size(), L'\0');
  const int length = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()),
                                           text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}

std::string Utf8(const std::wstring& utf16) {
  std::string text(utf16.size() * 3, '\0');
  const int length =
      ::WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), text.data(),
                            static_cast<int>(text.size()), nullptr, nullptr);
  text.resize(static_cast<std::size_t>(length));
  return text;
}

bool ReadWholeFile(const std::string& path, std::string& text) {
  win32::unique_hfile file(::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) {
    return false;
  }
  text.clear();
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    text.append(buffer, read);
  }
  return true;
}

bool WriteWholeFile(const std::string& path, const std::string& text) {
  CreateFoldersFor(path);
  win32::unique_hfile file(::CreateFileW(Utf16(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                         CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file &&
         ::WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

void CreateFoldersFor(const std::string& path) {
  for (std::size_t slash = path.find('\\', 3); slash != std::string::npos;
       slash = path.find('\\', slash + 1)) {
    ::CreateDirectoryW(Utf16(path.substr(0, slash)).c_str(), nullptr);
  }
}

win32::unique_hkey CreateKeyPath(const std::string& path, REGSAM view) {
  win32::unique_hkey key;
  HKEY parent = HKEY_LOCAL_MACHINE;
  std::size_t begin = 0;
  while (begin <= path.size()) {
    std::size_t end = path.find('\\', begin);
    if (end == std::string::npos) {
      end = path.size();
    }
    win32::unique_hkey next;
    if (::RegCreateKeyExW(parent, Utf16(path.substr(begin, end - begin)).c_str(), 0, nullptr, 0,
                          KEY_ALL_ACCESS | view, nullptr, next.put(), nullptr) != ERROR_SUCCESS) {
      return win32::unique_hkey();
    }
    key = std::move(next);
    parent = key.get();
    begin = end + 1;
  }
  return key;
}

}  // namespace vorsk::machine
