#include "script/script_reader.h"

namespace vorsk {

namespace {

// A section name is held in a 260-character buffer. One that would not fit is not cut (the cut
// name could be another section's): it names no section at all.
bool FitsSectionName(std::string_view section) {
  return section.size() < kScriptTextSize;
}

}  // namespace

std::string ReadScriptText(Host& host, const std::string& scriptPath, std::string_view section,
                           std::string_view entry, std::uint32_t size) {
  if (!FitsSectionName(section)) {
    return std::string(kEmptyText);
  }
  return host.GetPrivateProfileStringA(std::string(section), std::string(entry),
                                       std::string(kEmptyText), size, scriptPath);
}

std::int32_t ReadScriptCount(Host& host, const std::string& scriptPath, std::string_view section,
                             std::string_view entry, std::int32_t defaultValue) {
  if (!FitsSectionName(section)) {
    return defaultValue;
  }
  return host.GetPrivateProfileIntA(std::string(section), std::string(entry), defaultValue,
                                    scriptPath);
}

std::string DeviceSectionName(std::string_view devNo, std::string_view suffix) {
  std::string name(devNo);
  name += suffix;
  return name;
}

std::string NumberedEntryName(std::int32_t i) {
  return "Num" + std::to_string(i);
}

}  // namespace vorsk
