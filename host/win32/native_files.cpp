#include "host/win32/native_files.h"

#include <aclapi.h>
#include <sddl.h>
#include <winternl.h>

#include "host/win32/system_library.h"

namespace vorsk::win32 {

namespace {

using NtCreateFileCall = LONG(NTAPI*)(PHANDLE, ACCESS_MASK, POBJECT_ATTRIBUTES, PIO_STATUS_BLOCK,
                                      PLARGE_INTEGER, ULONG, ULONG, ULONG, ULONG, PVOID, ULONG);
using ToDosErrorCall = ULONG(NTAPI*)(LONG);
using NtQueryAttributesFileCall = LONG(NTAPI*)(POBJECT_ATTRIBUTES, PVOID);

// The native basic information of a file, as its header defines it.
struct BasicInformation {
  LARGE_INTEGER creationTime;
  LARGE_INTEGER lastAccessTime;
  LARGE_INTEGER lastWriteTime;
  LARGE_INTEGER changeTime;
  ULONG fileAttributes;
};

// The native create call's dispositions and options, as its header defines them.
constexpr ULONG kFileOpen = 1;
constexpr ULONG kFileCreate = 2;
constexpr ULONG kDirectoryFile = 0x1;
constexpr ULONG kNonDirectoryFile = 0x40;
constexpr ULONG kSynchronousIoNonAlert = 0x20;
constexpr ULONG kOpenReparsePoint = 0x200000;
constexpr ULONG kOpenForBackupIntent = 0x4000;
constexpr LONG kStatusStoppedOnSymlink = static_cast<LONG>(0x8000002DL);

// Whether `name` (relative to `root`, as `attributes` name it; or a full path with a null root) is
// a link, by its name: some platforms (Wine among them) show a link as a reparse point only to a
// query by name, and open what it leads to whatever the create call asks. Where the native query
// takes no root directory (Wine's), the root's path is asked for and the name looked at by its
// full path.
bool NamesALink(HANDLE root, const std::u16string& name, OBJECT_ATTRIBUTES& attributes) {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const auto query = FindCall<NtQueryAttributesFileCall>(ntdll, "NtQueryAttributesFile");
  if (query == nullptr) {
    return false;
  }
  BasicInformation information = {};
  if (query(&attributes, &information) >= 0) {
    return (information.fileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
  }
  using FinalPathCall = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
  const auto finalPath = FindCall<FinalPathCall>(::GetModuleHandleW(L"kernel32.dll"),
                                                 "GetFinalPathNameByHandleW");
  if (root == nullptr || finalPath == nullptr) {
    return false;
  }
  std::wstring path(32768, L'\0');
  const DWORD length = finalPath(root, path.data(), static_cast<DWORD>(path.size()), 0);
  if (length == 0 || length >= path.size()) {
    return false;
  }
  path.resize(length);
  const std::wstring full = path + L"\\" + std::wstring(name.begin(), name.end());
  const DWORD found = ::GetFileAttributesW(full.c_str());
  return found != INVALID_FILE_ATTRIBUTES && (found & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

}  // namespace

Status CreateRelative(HANDLE root, const std::u16string& name, NativeCreate how,
                      PSECURITY_DESCRIPTOR descriptor, unique_hfile& opened) {
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const auto create = FindCall<NtCreateFileCall>(ntdll, "NtCreateFile");
  const auto toDosError = FindCall<ToDosErrorCall>(ntdll, "RtlNtStatusToDosError");
  if (create == nullptr || toDosError == nullptr) {
    return ERROR_PROC_NOT_FOUND;
  }
  // A full path is given to the native call in its own form.
  std::u16string objectName = name;
  if (root == nullptr) {
    objectName = name.rfind(u"\\\\", 0) == 0 ? u"\\??\\UNC\\" + name.substr(2) : u"\\??\\" + name;
  }
  if (objectName.size() * sizeof(char16_t) > 0xFFFC) {
    return ERROR_FILENAME_EXCED_RANGE;
  }
  UNICODE_STRING text;
  text.Buffer = reinterpret_cast<PWSTR>(objectName.data());
  text.Length = static_cast<USHORT>(objectName.size() * sizeof(char16_t));
  text.MaximumLength = text.Length;
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &text, OBJ_CASE_INSENSITIVE, root, descriptor);

  const bool folder = how == NativeCreate::OpenFolder || how == NativeCreate::MakeFolder;
  if (how == NativeCreate::OpenFolder && NamesALink(root, name, attributes)) {
    return kErrorStoppedOnSymlink;
  }
  // Walking through and listing count as reading, so a folder held open this way keeps everyone
  // who does not share reading and writing with it from moving or deleting it.
  const bool log = how == NativeCreate::MakeLog || how == NativeCreate::OpenLog;
  constexpr ACCESS_MASK kLogAccess =
      FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE;
  const ACCESS_MASK access = folder ? FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES |
                                          READ_CONTROL | SYNCHRONIZE
                             : how == NativeCreate::MakeLog        ? kLogAccess | DELETE
                             : how == NativeCreate::OpenLog        ? kLogAccess
                             : how == NativeCreate::OpenFileToRead ? GENERIC_READ | SYNCHRONIZE
                             : how == NativeCreate::OpenFileToAppend
                                 ? FILE_APPEND_DATA | FILE_READ_ATTRIBUTES | SYNCHRONIZE
                                 : GENERIC_WRITE | SYNCHRONIZE;
  const ULONG share = how == NativeCreate::OpenLog
                          ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
                      : folder || log ? FILE_SHARE_READ | FILE_SHARE_WRITE
                                      : FILE_SHARE_READ;
  const ULONG disposition = how == NativeCreate::MakeFolder || how == NativeCreate::MakeFile ||
                                    how == NativeCreate::MakeLog
                                ? kFileCreate
                                : kFileOpen;
  const ULONG options = (folder ? kDirectoryFile | kOpenForBackupIntent : kNonDirectoryFile) |
                        kSynchronousIoNonAlert | kOpenReparsePoint;
  IO_STATUS_BLOCK io = {};
  HANDLE handle = nullptr;
  const LONG status = create(&handle, access, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL,
                             share, disposition, options, nullptr, 0);
  if (status == kStatusStoppedOnSymlink) {
    return kErrorStoppedOnSymlink;
  }
  if (status < 0) {
    const Status error = static_cast<Status>(toDosError(status));
    // A name taken: a file's make says so as the Win32 file calls do.
    return (how == NativeCreate::MakeFile || how == NativeCreate::MakeLog) &&
                   error == ERROR_ALREADY_EXISTS
               ? ERROR_FILE_EXISTS
               : error;
  }
  opened.reset(handle);
  // Opened as itself, a link would be walked through by whoever names what is inside it: it is
  // none of the folders asked for.
  BY_HANDLE_FILE_INFORMATION information = {};
  if (!::GetFileInformationByHandle(handle, &information)) {
    const Status error = static_cast<Status>(::GetLastError());
    opened.reset();
    return error;
  }
  if ((information.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    opened.reset();
    return kErrorStoppedOnSymlink;
  }
  return kErrorSuccess;
}

Status DeleteThroughHandle(HANDLE file) {
  using SetInformationCall = LONG(NTAPI*)(HANDLE, PIO_STATUS_BLOCK, PVOID, ULONG, int);
  using ToDosErrorCall = ULONG(NTAPI*)(LONG);
  constexpr int kFileDispositionInformation = 13;
  HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
  const auto setInformation = FindCall<SetInformationCall>(ntdll, "NtSetInformationFile");
  const auto toDosError = FindCall<ToDosErrorCall>(ntdll, "RtlNtStatusToDosError");
  if (setInformation == nullptr || toDosError == nullptr) {
    return ERROR_PROC_NOT_FOUND;
  }
  BOOLEAN deleteFile = TRUE;  // FILE_DISPOSITION_INFORMATION: one flag
  IO_STATUS_BLOCK io = {};
  const LONG status =
      setInformation(file, &io, &deleteFile, sizeof(deleteFile), kFileDispositionInformation);
  return status < 0 ? static_cast<Status>(toDosError(status)) : kErrorSuccess;
}

Status ReadSecurityFacts(HANDLE object, bool key, SecurityFacts& facts) {
  PSID owner = nullptr;
  PACL dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  const DWORD status = ::GetSecurityInfo(object, key ? SE_REGISTRY_KEY : SE_FILE_OBJECT,
                                         OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                         &owner, nullptr, &dacl, nullptr, &descriptor);
  if (status != ERROR_SUCCESS) {
    return static_cast<Status>(status);
  }
  const unique_hlocal owned(descriptor);
  const auto sidText = [](PSID sid) {
    wchar_t* text = nullptr;
    if (sid == nullptr || !::ConvertSidToStringSidW(sid, &text)) {
      return std::string();
    }
    const unique_hlocal ownedText(text);
    std::string narrow;
    for (const wchar_t* c = text; *c != L'\0'; ++c) {
      narrow += static_cast<char>(*c);  // a SID's text is ASCII
    }
    return narrow;
  };
  SecurityFacts read;
  read.owner = sidText(owner);
  read.nullList = dacl == nullptr;
  for (DWORD index = 0; dacl != nullptr && index < dacl->AceCount; ++index) {
    void* raw = nullptr;
    if (!::GetAce(dacl, index, &raw)) {
      return static_cast<Status>(::GetLastError());
    }
    const auto* header = static_cast<const ACE_HEADER*>(raw);
    AccessEntry entry;
    entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    switch (header->AceType) {
      case ACCESS_ALLOWED_ACE_TYPE:
      case ACCESS_DENIED_ACE_TYPE: {
        const auto* ace = static_cast<const ACCESS_ALLOWED_ACE*>(raw);
        entry.allows = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
        entry.mask = ace->Mask;
        entry.sid = sidText(const_cast<DWORD*>(&ace->SidStart));
        break;
      }
      default:
        // An entry of another kind (for an object type, with a condition) that grants is taken
        // to grant everything to everyone: the rule never trusts what it cannot read.
        entry.allows = header->AceType != ACCESS_DENIED_ACE_TYPE &&
                       header->AceType != ACCESS_DENIED_OBJECT_ACE_TYPE &&
                       header->AceType != SYSTEM_AUDIT_ACE_TYPE &&
                       header->AceType != SYSTEM_ALARM_ACE_TYPE;
        entry.mask = GENERIC_ALL;
        entry.sid = "S-1-1-0";
        break;
    }
    read.entries.push_back(entry);
  }
  facts = std::move(read);
  return kErrorSuccess;
}

}  // namespace vorsk::win32
