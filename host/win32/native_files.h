// Files and folders named relative to an open folder, through the platform's native create call
// (its root directory: the Win32 API has no such call), and the owner and access list of an open
// object as the rule of host/object_trust.h reads them.
#pragma once

#include <string>

#include "host/host.h"
#include "host/win32/win32_handles.h"

namespace vorsk::win32 {

// How an object is created or opened relative to its folder. The run's log is shared for
// reading and writing with every other run that appends to it: MakeLog makes it, also to delete
// (so that a new log that is refused goes again through its own handle), and OpenLog opens the
// log it made to append to it, sharing its deletion with that first handle.
enum class NativeCreate {
  OpenFolder,
  MakeFolder,
  MakeFile,
  OpenFileToAppend,
  OpenFileToRead,
  MakeLog,
  OpenLog
};

// Opens or makes `name` relative to the open folder `root` (or, with a null root, at the full path
// `name`), never following a link at its end. Folders are opened to be walked through, listed and
// have their security read, sharing reading and writing but not deletion, so that nobody may move
// or delete them while they are open; files are written or read sharing reading alone. A new
// object gets `descriptor` (or its folder's inherited rights when null). The platform's error, or
// kErrorSuccess with the handle in `opened`.
Status CreateRelative(HANDLE root, const std::u16string& name, NativeCreate how,
                      PSECURITY_DESCRIPTOR descriptor, unique_hfile& opened);

// Deletes the file open at `file` (with DELETE access) through its handle: the file it names
// goes when its last handle closes, whatever its name meanwhile.
Status DeleteThroughHandle(HANDLE file);

// The owner and access list of an object open with READ_CONTROL (a file or folder; a key with
// `key`).
Status ReadSecurityFacts(HANDLE object, bool key, SecurityFacts& facts);

}  // namespace vorsk::win32
