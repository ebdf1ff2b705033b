// Small helpers of the machine tools: reading a whole file, creating keys and folders one
// component at a time, and text between UTF-8 (descriptions, printed states) and the platform's
// UTF-16.
#pragma once

#include <string>

#include "host/win32/win32_handles.h"

namespace vorsk::machine {

std::wstring Utf16(const std::string& utf8);
std::string Utf8(const std::wstring& utf16);

bool ReadWholeFile(const std::string& path, std::string& text);
// Paths in UTF-8, as descriptions give them: names outside the code page are written as they are.
bool WriteWholeFile(const std::string& path, const std::string& text);
// Creates the folders on the way to a file.
void CreateFoldersFor(const std::string& path);
// Opens or creates a key below HKEY_LOCAL_MACHINE (its path in UTF-8), one component at a time,
// so that the whole path may be longer than one text argument of the registry may hold; in the
// registry view given (KEY_WOW64_64KEY for the 64-bit one, 0 for the program's own).
win32::unique_hkey CreateKeyPath(const std::string& path, REGSAM view = 0);

}  // namespace vorsk::machine
