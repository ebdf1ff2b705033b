#include "host/win32/companion_check.h"

#include <algorithm>

#include "digest/image_digest.h"

namespace vorsk::win32 {

namespace {

// The whole file open at `file`: the platform's error when it cannot be read, and
// ERROR_FILE_TOO_LARGE when it holds more than `limit` bytes (or grows while it is read).
Status ReadWhole(HANDLE file, std::string& bytes, std::size_t limit) {
  LARGE_INTEGER size = {};
  if (!::GetFileSizeEx(file, &size)) {
    return static_cast<Status>(::GetLastError());
  }
  if (size.QuadPart < 0 || static_cast<unsigned long long>(size.QuadPart) > limit) {
    return ERROR_FILE_TOO_LARGE;
  }
  bytes.assign(static_cast<std::size_t>(size.QuadPart), '\0');
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    DWORD read = 0;
    const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - filled, 1 << 20));
    if (!::ReadFile(file, bytes.data() + filled, piece, &read, nullptr)) {
      return static_cast<Status>(::GetLastError());
    }
    if (read == 0) {
      return ERROR_HANDLE_EOF;
    }
    filled += read;
  }
  char more = 0;
  DWORD read = 0;
  if (!::ReadFile(file, &more, 1, &read, nullptr)) {
    return static_cast<Status>(::GetLastError());
  }
  return read == 0 ? kErrorSuccess : ERROR_FILE_TOO_LARGE;
}

unique_hfile OpenSharingReadingAlone(const std::wstring& path) {
  return unique_hfile(::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
}

}  // namespace

CompanionCheck OpenBuiltCompanion(const std::wstring& path, const std::string& expectedDigest) {
  CompanionCheck check;
  unique_hfile file = OpenSharingReadingAlone(path);
  if (!file) {
    check.error = static_cast<Status>(::GetLastError());
    check.outcome = check.error == ERROR_FILE_NOT_FOUND || check.error == ERROR_PATH_NOT_FOUND
                        ? CompanionCheck::Outcome::Missing
                        : CompanionCheck::Outcome::Unopened;
    return check;
  }
  std::string image;
  check.error = ReadWhole(file.get(), image, kLongestCompanion);
  if (check.error != kErrorSuccess) {
    check.outcome = CompanionCheck::Outcome::Unopened;
    return check;
  }
  const std::optional<Sha256::Digest> digest = ImageDigest(image);
  if (expectedDigest.empty() || !digest || DigestText(*digest) != expectedDigest) {
    check.error = kErrorInvalidImageHash;
    check.outcome = CompanionCheck::Outcome::Different;
    return check;
  }
  check.held = std::move(file);
  check.outcome = CompanionCheck::Outcome::Checked;
  return check;
}

std::string ImageDigestOfFile(const std::wstring& path) {
  const unique_hfile file = OpenSharingReadingAlone(path);
  std::string image;
  if (!file || ReadWhole(file.get(), image, kLongestCompanion) != kErrorSuccess) {
    return std::string();
  }
  const std::optional<Sha256::Digest> digest = ImageDigest(image);
  return digest ? DigestText(*digest) : std::string();
}

}  // namespace vorsk::win32
