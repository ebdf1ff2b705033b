#include "cleanup/device_ids.h"

namespace vorsk {

namespace {

bool EqualFolded(std::string_view a, std::string_view b) {
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldAscii(a[i]) != FoldAscii(b[i])) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool SameDeviceId(std::string_view a, std::string_view b) {
  return a.size() == b.size() && EqualFolded(a, b);
}

bool HasIdPrefix(std::string_view prefix, std::string_view id) {
  return !prefix.empty() && id.size() >= prefix.size() &&
         EqualFolded(prefix, id.substr(0, prefix.size()));
}

}  // namespace vorsk
