// Holds a file open the way another program would, for the Windows tests: for reading, sharing
// read access only, so that nobody can delete the file meanwhile.
//   hold_file <path> <event prefix>
// Signals the event "<prefix>-held" once the file is open, and keeps it open until the event
// "<prefix>-release" is signalled (or a minute passes). Exit status 0 when it held the file.
#include <string>

#include "host/win32/win32_handles.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    return 2;
  }
  const std::string prefix = argv[2];
  vorsk::win32::unique_handle held(
      ::OpenEventA(EVENT_MODIFY_STATE, FALSE, (prefix + "-held").c_str()));
  vorsk::win32::unique_handle release(
      ::OpenEventA(SYNCHRONIZE, FALSE, (prefix + "-release").c_str()));
  vorsk::win32::unique_hfile file(::CreateFileA(argv[1], GENERIC_READ, FILE_SHARE_READ, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!held || !release || !file) {
    return 3;
  }
  ::SetEvent(held.get());
  return ::WaitForSingleObject(release.get(), 60000) == WAIT_OBJECT_0 ? 0 : 4;
}
