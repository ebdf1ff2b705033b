// The framework's own texts, in the application's language (Chinese, PRC). They are not in the
// string table: the application's strings are its own resources.
#pragma once

namespace framework::texts {

inline constexpr wchar_t kUntitled[] = L"无标题";
inline constexpr wchar_t kAllFilesFilter[] = L"所有文件 (*.*)";
inline constexpr wchar_t kOpenTitle[] = L"打开";
inline constexpr wchar_t kCannotOpenDocument[] = L"无法打开文档：";

}  // namespace framework::texts
