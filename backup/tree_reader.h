// Reads a listed tree for its backup, through the wide-character calls, into the registry
// editor's text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/host.h"

namespace vorsk {

// A tree read for its backup: its text, what the format cannot carry, its size.
struct TreeText {
  std::u16string blocks;           // the key blocks of registry.reg
  std::vector<std::string> notes;  // manifest lines, in UTF-8
  std::uint32_t keys = 0;
  std::uint32_t values = 0;
  std::string failure;  // why it cannot be saved, in UTF-8; empty when it can
};

// Reads the open key `root`, whose full name is `path` ("HKEY_LOCAL_MACHINE\..."), and every key
// below it into `tree`. A link key below the root (opened without following it, it holds the
// value that names its target) is noted with its target, neither written nor followed. False,
// with `tree.failure` set, when the tree cannot be saved whole.
bool ReadTree(Host& host, RegKey root, const std::u16string& path, TreeText& tree);

}  // namespace vorsk
