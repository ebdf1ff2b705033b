// Text between the encodings the platform's calls speak: the ANSI code page, UTF-16 and UTF-8.
#pragma once

#include <string>

namespace vorsk::win32 {

// Wide text as the ANSI code page: characters it lacks become its default character.
std::string WideToAnsi(const std::wstring& text);

}  // namespace vorsk::win32
