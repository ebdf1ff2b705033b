// Registry tree deletion under Wine: vorsk's depth-first deletion against the platform's own
// RegDeleteTreeA and `reg delete /f`, and against the floor (one RegDeleteKeyA per key of a tree
// whose names are known in advance). Every method deletes an identical, freshly built tree.
//
//   registry_bench <keys> <wide|deep> <repetitions>
//
// Prints one line per method: shape, keys, method, median milliseconds.
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "bench/wine/bench_clock.h"
#include "cleanup/key_trees.h"
#include "host/win32/win32_handles.h"
#include "host/win32/win32_host.h"

namespace vorsk::bench {
namespace {

constexpr int kDeepLevels = 250;
const std::string kBenchRoot = "SOFTWARE\\VorskBench";

// One key of a tree: its parent (-1 for the tree's root) and its name. Parents come first.
struct Node {
  int parent;
  std::string name;
};

std::vector<Node> TreeShape(int keys, bool deep) {
  std::vector<Node> nodes;
  nodes.reserve(keys);
  if (!deep) {
    for (int i = 0; i < keys; ++i) {
      nodes.push_back({-1, "key" + std::to_string(i)});
    }
    return nodes;
  }
  for (int chain = 0; static_cast<int>(nodes.size()) < keys; ++chain) {
    nodes.push_back({-1, "chain" + std::to_string(chain)});
    for (int level = 1; level < kDeepLevels && static_cast<int>(nodes.size()) < keys; ++level) {
      nodes.push_back({static_cast<int>(nodes.size()) - 1, "l" + std::to_string(level)});
    }
  }
  return nodes;
}

HKEY CreateKey(HKEY parent, const std::string& name) {
  HKEY key = nullptr;
  if (::RegCreateKeyExA(parent, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
    std::fprintf(stderr, "cannot create %s\n", name.c_str());
    std::exit(1);
  }
  return key;
}

// Builds the tree one key at a time, each relative to its parent.
void BuildTree(const std::string& root, const std::vector<Node>& shape) {
  // Whatever an interrupted run left there goes first.
  ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, root.c_str());
  win32::unique_hkey rootKey(CreateKey(HKEY_LOCAL_MACHINE, root));
  std::vector<win32::unique_hkey> keys(shape.size());
  for (std::size_t i = 0; i < shape.size(); ++i) {
    const HKEY parent = shape[i].parent < 0 ? rootKey.get() : keys[shape[i].parent].get();
    keys[i].reset(CreateKey(parent, shape[i].name));
    // A key's handle is needed only until its last child exists.
    if (shape[i].parent >= 0 && i + 1 < shape.size() && shape[i + 1].parent != shape[i].parent) {
      keys[shape[i].parent].reset();
    }
  }
}

bool TreeExists(const std::string& root) {
  win32::unique_hkey key;
  return ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, root.c_str(), 0, KEY_READ, key.put()) == ERROR_SUCCESS;
}

void DeleteWithVorsk(const std::string& root, const std::vector<Node>&) {
  Win32Host host;
  std::string path = root;
  DeleteKeyTree(host, path);
}

void DeleteWithRegDeleteTree(const std::string& root, const std::vector<Node>&) {
  ::RegDeleteTreeA(HKEY_LOCAL_MACHINE, root.c_str());
  ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, root.c_str());
}

void DeleteWithRegCommand(const std::string& root, const std::vector<Node>&) {
  std::string command = "reg.exe delete \"HKLM\\" + root + "\" /f";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (::CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                       nullptr, &startup, &process)) {
    win32::unique_handle processHandle(process.hProcess);
    win32::unique_handle threadHandle(process.hThread);
    ::WaitForSingleObject(processHandle.get(), INFINITE);
  }
}

// The floor: the names are known, so each key costs one deletion (and, below the top level, one
// open of its parent), children before parents.
void DeleteKnownKeys(const std::string& root, const std::vector<Node>& shape) {
  win32::unique_hkey rootKey;
  ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, root.c_str(), 0, KEY_READ, rootKey.put());
  // The open handles of the current chain of parents, by node index.
  std::vector<win32::unique_hkey> parents(shape.size());
  const auto handleOf = [&](int node, const auto& self) -> HKEY {
    if (node < 0) {
      return rootKey.get();
    }
    if (!parents[node]) {
      ::RegOpenKeyExA(self(shape[node].parent, self), shape[node].name.c_str(), 0, KEY_READ,
                      parents[node].put());
    }
    return parents[node].get();
  };
  for (int i = static_cast<int>(shape.size()) - 1; i >= 0; --i) {
    parents[i].reset();
    ::RegDeleteKeyA(handleOf(shape[i].parent, handleOf), shape[i].name.c_str());
  }
  rootKey.reset();
  ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, root.c_str());
}

struct Method {
  const char* name;
  std::function<void(const std::string&, const std::vector<Node>&)> deleteTree;
};

}  // namespace
}  // namespace vorsk::bench

int main(int argc, char** argv) {
  using namespace vorsk::bench;
  if (argc != 4) {
    std::fprintf(stderr, "usage: registry_bench <keys> <wide|deep> <repetitions>\n");
    return 2;
  }
  const int keys = std::atoi(argv[1]);
  const bool deep = std::string(argv[2]) == "deep";
  const int repetitions = std::atoi(argv[3]);
  const std::vector<Node> shape = TreeShape(keys, deep);

  const std::vector<Method> methods = {
      {"vorsk", DeleteWithVorsk},
      {"RegDeleteTreeA", DeleteWithRegDeleteTree},
      {"reg-delete", DeleteWithRegCommand},
      {"floor", DeleteKnownKeys},
  };
  std::vector<std::vector<double>> times(methods.size());
  for (int repetition = 0; repetition < repetitions; ++repetition) {
    for (std::size_t m = 0; m < methods.size(); ++m) {
      const std::string root = kBenchRoot + "\\" + methods[m].name;
      BuildTree(root, shape);
      const Stopwatch stopwatch;
      methods[m].deleteTree(root, shape);
      times[m].push_back(stopwatch.Milliseconds());
      if (TreeExists(root)) {
        std::fprintf(stderr, "%s left the tree behind\n", methods[m].name);
        return 1;
      }
    }
  }
  for (std::size_t m = 0; m < methods.size(); ++m) {
    std::printf("%s %d %s %.3f\n", argv[2], keys, methods[m].name, Median(times[m]));
  }
  ::RegDeleteKeyA(HKEY_LOCAL_MACHINE, kBenchRoot.c_str());
  return 0;
}
