#include "backup/manifest.h"

#include "host/host.h"
#include "text/text.h"

namespace vorsk {

namespace {

constexpr std::string_view kSavedAs = ": saved as ";
constexpr std::string_view kAttributesField = ", attributes ";
constexpr std::string_view kShaField = ", sha256 ";
constexpr std::string_view kPackageMiddle = ": held by the platform; its store folder ";
constexpr std::string_view kSavedWhole = " saved whole as ";
constexpr std::string_view kStoreFile = "  store file ";
constexpr std::string_view kItsInf = " (its INF)";

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool IsDigestText(std::string_view text) {
  return text.size() == 64 && text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

std::optional<std::uint32_t> AttributesOf(std::string_view text) {
  if (text == "none") {
    return 0;
  }
  std::uint32_t attributes = 0;
  for (std::size_t at = 0; at <= text.size();) {
    std::size_t end = text.find(", ", at);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    const std::string_view flag = text.substr(at, end - at);
    if (flag == "read-only") {
      attributes |= kFileAttributeReadOnly;
    } else if (flag == "hidden") {
      attributes |= kFileAttributeHidden;
    } else if (flag == "system") {
      attributes |= kFileAttributeSystem;
    } else {
      return std::nullopt;
    }
    at = end + 2;
  }
  return attributes;
}

// "file <path>: saved as <saved>, attributes <flags>[, sha256 <hex>]"
std::optional<SavedFile> ReadFileLine(std::string_view line) {
  line.remove_prefix(5);
  const std::size_t savedAs = line.rfind(kSavedAs);
  if (savedAs == std::string_view::npos) {
    return std::nullopt;
  }
  SavedFile file;
  file.path = std::string(line.substr(0, savedAs));
  std::string_view rest = line.substr(savedAs + kSavedAs.size());
  const std::size_t sha = rest.rfind(kShaField);
  if (sha != std::string_view::npos) {
    file.sha256 = std::string(rest.substr(sha + kShaField.size()));
    if (!IsDigestText(file.sha256)) {
      return std::nullopt;
    }
    rest = rest.substr(0, sha);
  }
  const std::size_t attributes = rest.find(kAttributesField);
  if (attributes == std::string_view::npos) {
    return std::nullopt;
  }
  file.saved = std::string(rest.substr(0, attributes));
  const std::optional<std::uint32_t> flags =
      AttributesOf(rest.substr(attributes + kAttributesField.size()));
  if (!flags || !IsNameInBackup(file.saved)) {
    return std::nullopt;
  }
  file.attributes = *flags;
  return file;
}

// "package <INF>: held by the platform; its store folder <folder> saved whole as <saved>, <n>
// file(s)"
std::optional<SavedPackage> ReadPackageLine(std::string_view line) {
  line.remove_prefix(8);
  const std::size_t middle = line.find(kPackageMiddle);
  const std::size_t whole = line.rfind(kSavedWhole);
  if (middle == std::string_view::npos || whole == std::string_view::npos || whole < middle) {
    return std::nullopt;
  }
  SavedPackage package;
  package.infName = std::string(line.substr(0, middle));
  package.storeFolder = std::string(
      line.substr(middle + kPackageMiddle.size(), whole - middle - kPackageMiddle.size()));
  const std::string_view rest = line.substr(whole + kSavedWhole.size());
  package.saved = std::string(rest.substr(0, rest.rfind(", ")));
  if (!IsNameInBackup(package.saved)) {
    return std::nullopt;
  }
  return package;
}

// "  store file <saved>[ (its INF)]: <name>, sha256 <hex>"
std::optional<SavedStoreFile> ReadStoreFileLine(std::string_view line) {
  line.remove_prefix(kStoreFile.size());
  const std::size_t colon = line.find(": ");
  const std::size_t sha = line.rfind(kShaField);
  if (colon == std::string_view::npos || sha == std::string_view::npos || sha < colon) {
    return std::nullopt;
  }
  SavedStoreFile file;
  std::string_view saved = line.substr(0, colon);
  if (saved.size() > kItsInf.size() && saved.substr(saved.size() - kItsInf.size()) == kItsInf) {
    file.isInf = true;
    saved.remove_suffix(kItsInf.size());
  }
  file.saved = std::string(saved);
  file.name = std::string(line.substr(colon + 2, sha - colon - 2));
  file.sha256 = std::string(line.substr(sha + kShaField.size()));
  if (!IsNameInBackup(file.saved) || !IsNameInBackup(file.name) || !IsDigestText(file.sha256)) {
    return std::nullopt;
  }
  return file;
}

}  // namespace

std::string AttributesText(std::uint32_t attributes) {
  std::string text;
  for (const auto& [flag, name] :
       {std::pair{kFileAttributeReadOnly, "read-only"}, std::pair{kFileAttributeHidden, "hidden"},
        std::pair{kFileAttributeSystem, "system"}}) {
    if ((attributes & flag) != 0) {
      text += text.empty() ? name : std::string(", ") + name;
    }
  }
  return text.empty() ? "none" : text;
}

bool IsNameInBackup(std::string_view name) {
  if (name.empty()) {
    return false;
  }
  for (std::size_t at = 0; at <= name.size();) {
    std::size_t end = name.find('\\', at);
    if (end == std::string_view::npos) {
      end = name.size();
    }
    const std::string_view part = name.substr(at, end - at);
    if (part.empty() || part == "." || part == ".." ||
        part.find_first_of(":/*?\"<>|") != std::string_view::npos) {
      return false;
    }
    for (const char c : part) {
      if (static_cast<unsigned char>(c) < 0x20) {
        return false;
      }
    }
    at = end + 1;
  }
  return true;
}

std::string ManifestBeginning(const std::string& made, const std::string& machine,
                              const std::string& folder, const std::string& version, bool wow64,
                              const std::string& scriptPath, const std::vector<SavedSum>& sums) {
  std::string text = std::string("vorsk backup") + kManifestLineEnd + "made: " + made +
                     kManifestLineEnd + "machine: " + machine + kManifestLineEnd +
                     "folder: " + folder + kManifestLineEnd + "vorsk: " + version +
                     (wow64 ? ", a 32-bit program on 64-bit Windows: the trees are of the 32-bit "
                              "registry view"
                            : "") +
                     kManifestLineEnd + "script: " + scriptPath + ", copied as " + kSavedScript +
                     kManifestLineEnd +
                     "not carried: permissions, key classes, volatile keys (they come back as "
                     "ordinary keys), link keys and device instances (both recorded below)" +
                     kManifestLineEnd;
  for (const SavedSum& sum : sums) {
    text += ManifestSumLine(sum);
  }
  return text + "saved:" + kManifestLineEnd;
}

std::string ManifestFileLine(const SavedFile& file) {
  return "file " + file.path + std::string(kSavedAs) + file.saved + std::string(kAttributesField) +
         AttributesText(file.attributes) + std::string(kShaField) + file.sha256 + kManifestLineEnd;
}

std::string ManifestPackageLines(const SavedPackage& package) {
  std::string text = "package " + package.infName + std::string(kPackageMiddle) +
                     package.storeFolder + std::string(kSavedWhole) + package.saved + ", " +
                     CountText(package.files.size(), "file", "files") + kManifestLineEnd;
  for (const SavedStoreFile& file : package.files) {
    text += std::string(kStoreFile) + file.saved + (file.isInf ? std::string(kItsInf) : "") + ": " +
            file.name + std::string(kShaField) + file.sha256 + kManifestLineEnd;
  }
  return text;
}

std::string ManifestSumLine(const SavedSum& sum) {
  return "sha256 " + sum.sha256 + " " + sum.name + kManifestLineEnd;
}

std::optional<Manifest> ReadManifest(std::string_view text, std::string& why) {
  Manifest manifest;
  if (!StartsWith(text, std::string("vorsk backup") + kManifestLineEnd)) {
    why = "it is no manifest of a backup of vorsk";
    return std::nullopt;
  }
  std::size_t number = 0;
  for (std::size_t at = 0; at < text.size();) {
    std::size_t end = text.find(kManifestLineEnd, at);
    if (end == std::string_view::npos) {
      end = text.size();
    }
    const std::string_view line = text.substr(at, end - at);
    at = end + 2;
    ++number;
    const auto malformed = [&]() {
      why = "its line " + std::to_string(number) + " cannot be read";
      return std::nullopt;
    };
    if (manifest.complete) {
      return malformed();  // nothing follows its end
    }
    if (StartsWith(line, "machine: ")) {
      manifest.machine = std::string(line.substr(9));
    } else if (StartsWith(line, "folder: ")) {
      manifest.folder = std::string(line.substr(8));
    } else if (StartsWith(line, "vorsk: ")) {
      manifest.wow64 = line.find(", a 32-bit program on 64-bit Windows") != std::string_view::npos;
    } else if (StartsWith(line, "file ")) {
      const std::optional<SavedFile> file = ReadFileLine(line);
      if (!file) {
        return malformed();
      }
      manifest.files.push_back(*file);
    } else if (StartsWith(line, "package ")) {
      const std::optional<SavedPackage> package = ReadPackageLine(line);
      if (!package) {
        return malformed();
      }
      manifest.packages.push_back(*package);
    } else if (StartsWith(line, kStoreFile)) {
      const std::optional<SavedStoreFile> file = ReadStoreFileLine(line);
      if (!file || manifest.packages.empty()) {
        return malformed();
      }
      manifest.packages.back().files.push_back(*file);
    } else if (StartsWith(line, "sha256 ")) {
      SavedSum sum;
      sum.sha256 = std::string(line.substr(7, 64));
      sum.name = line.size() > 72 ? std::string(line.substr(72)) : std::string();
      if (!IsDigestText(sum.sha256) || line.size() <= 72 || line[71] != ' ' ||
          !IsNameInBackup(sum.name)) {
        return malformed();
      }
      manifest.sums.push_back(sum);
    } else if (StartsWith(line, "instance ")) {
      manifest.instancesRecorded = true;
    } else if (line == "end") {
      manifest.complete = true;
    }
    // Any other line (when it was made, the script, the trees and what the format could not carry)
    // is for a person.
  }
  return manifest;
}

}  // namespace vorsk
