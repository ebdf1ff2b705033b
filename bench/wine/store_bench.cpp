// The driver store at scale, under Wine: vorsk's search for the package of a published INF where
// the platform names no store folder (FindDriverPackage), against a plain walk of the same store
// that reads the same INFs: the store's folders listed once, and in each folder the INF it is
// named for read whole and compared with the published one.
//
//   store_bench <folders> <repetitions>
//
// Stages the store below the system folder (<name>.inf_x86_<hash>, each with its INF of 1 to 64
// KB, a driver file beside it and a folder of its own inside, as packages have), publishes one
// package's INF as oembench.inf, checks that both find that package alone, prints one line per
// method (folders, method, median milliseconds, the runs alternating), then removes what it
// staged.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/wine/bench_clock.h"
#include "cleanup/driver_package.h"
#include "host/win32/win32_handles.h"
#include "host/win32/win32_host.h"

namespace vorsk::bench {
namespace {

std::wstring WindowsFolder() {
  wchar_t folder[MAX_PATH] = {};
  ::GetSystemWindowsDirectoryW(folder, MAX_PATH);
  return folder;
}

bool WriteFile(const std::wstring& path, const std::string& bytes) {
  win32::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
  DWORD written = 0;
  return file &&
         ::WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                     nullptr) &&
         written == bytes.size();
}

std::string ReadWhole(const std::wstring& path) {
  win32::unique_hfile file(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                         OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  std::string bytes;
  if (!file) {
    return bytes;
  }
  char buffer[65536];
  DWORD read = 0;
  while (::ReadFile(file.get(), buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  return bytes;
}

// The package folders' names, and each one's INF: a text of its own, of a size that the folder's
// number spreads from 1 to 64 KB.
std::wstring FolderName(int i) {
  wchar_t name[64];
  std::swprintf(name, 64, L"pkg%04d.inf_x86_%08x", i, 0x9E3779B9u * static_cast<unsigned>(i + 1));
  return name;
}

std::string InfText(int i) {
  const std::size_t size = 1024 + (static_cast<std::size_t>(i) * 7919) % (63 * 1024);
  std::string text =
      "; pkg" + std::to_string(i) + ".inf\r\n[Version]\r\nSignature=\"$Windows NT$\"\r\n";
  while (text.size() < size) {
    text += "; line " + std::to_string(text.size()) + " of the package's INF\r\n";
  }
  text.resize(size);
  return text;
}

std::wstring InfNameOf(const std::wstring& folder) {
  return folder.substr(0, folder.find(L".inf_") + 4);
}

// The plain walk: the store listed once, each folder's own INF read whole and compared; the
// folders that hold the published bytes.
int PlainWalk(const std::wstring& store, const std::string& published) {
  WIN32_FIND_DATAW found = {};
  win32::unique_hfind search(::FindFirstFileW((store + L"\\*").c_str(), &found));
  int same = 0;
  if (!search) {
    return same;
  }
  do {
    const std::wstring name = found.cFileName;
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || name == L"." || name == L".." ||
        name.find(L".inf_") == std::wstring::npos) {
      continue;
    }
    same += ReadWhole(store + L"\\" + name + L"\\" + InfNameOf(name)) == published ? 1 : 0;
  } while (::FindNextFileW(search.get(), &found));
  return same;
}

}  // namespace
}  // namespace vorsk::bench

int main(int argc, char** argv) {
  using namespace vorsk::bench;
  if (argc != 3) {
    std::fprintf(stderr, "usage: store_bench <folders> <repetitions>\n");
    return 2;
  }
  const int folders = std::atoi(argv[1]);
  const int repetitions = std::atoi(argv[2]);
  const std::wstring windows = WindowsFolder();
  const std::wstring system = windows + L"\\System32";
  const std::wstring store = system + L"\\DriverStore\\FileRepository";
  ::CreateDirectoryW((system + L"\\DriverStore").c_str(), nullptr);
  ::CreateDirectoryW(store.c_str(), nullptr);
  for (int i = 0; i < folders; ++i) {
    const std::wstring folder = store + L"\\" + FolderName(i);
    ::CreateDirectoryW(folder.c_str(), nullptr);
    ::CreateDirectoryW((folder + L"\\amd64").c_str(), nullptr);
    WriteFile(folder + L"\\" + InfNameOf(FolderName(i)), InfText(i));
    WriteFile(folder + L"\\scanner.sys", std::string(8192, 'M'));
  }
  const int chosen = folders / 2;
  const std::string published = InfText(chosen);
  const std::wstring publishedPath = windows + L"\\Inf\\oembench.inf";
  WriteFile(publishedPath, published);

  vorsk::Win32Host host;
  char ansiWindows[MAX_PATH] = {};
  ::GetSystemWindowsDirectoryA(ansiWindows, MAX_PATH);
  const std::string infPath = std::string(ansiWindows) + "\\Inf\\oembench.inf";
  const auto search = [&] {
    return vorsk::FindDriverPackage(host, ansiWindows, "oembench.inf", infPath, true);
  };
  // Both find the one package, warm, before anything is timed.
  const vorsk::DriverPackage found = search();
  const std::wstring chosenFolder = store + L"\\" + FolderName(chosen);
  const bool right = found.hold == vorsk::DriverPackage::Hold::Held &&
                     found.storeFolder == std::u16string(chosenFolder.begin(), chosenFolder.end());
  if (!right || PlainWalk(store, published) != 1) {
    std::fprintf(stderr, "store_bench: the package was not found alone: %s\n", found.how.c_str());
    return 1;
  }
  std::vector<double> searched;
  std::vector<double> walked;
  for (int run = 0; run < repetitions; ++run) {
    for (int turn = 0; turn < 2; ++turn) {
      const Stopwatch watch;
      if ((run + turn) % 2 == 0) {
        search();
        searched.push_back(watch.Milliseconds());
      } else {
        PlainWalk(store, published);
        walked.push_back(watch.Milliseconds());
      }
    }
  }
  std::printf("store %d search %.3f\n", folders, Median(searched));
  std::printf("store %d plain-walk %.3f\n", folders, Median(walked));

  ::DeleteFileW(publishedPath.c_str());
  for (int i = 0; i < folders; ++i) {
    const std::wstring folder = store + L"\\" + FolderName(i);
    ::DeleteFileW((folder + L"\\" + InfNameOf(FolderName(i))).c_str());
    ::DeleteFileW((folder + L"\\scanner.sys").c_str());
    ::RemoveDirectoryW((folder + L"\\amd64").c_str());
    ::RemoveDirectoryW(folder.c_str());
  }
  ::RemoveDirectoryW(store.c_str());
  ::RemoveDirectoryW((system + L"\\DriverStore").c_str());
  return 0;
}
