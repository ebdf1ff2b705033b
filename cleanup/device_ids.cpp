#include "cleanup/device_ids.h"

#include "text/text.h"

namespace vorsk {

bool SameDeviceId(std::string_view a, std::string_view b) {
  return EqualAsciiFolded(a, b);
}

bool HasIdPrefix(std::string_view prefix, std::string_view id) {
  return !prefix.empty() && StartsWithAsciiFolded(id, prefix);
}

}  // namespace vorsk
