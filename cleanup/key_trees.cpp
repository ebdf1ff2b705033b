#include "cleanup/stages.h"

namespace vorsk {

void RemoveKeyTrees(Host&, const std::string&, const std::string&) {}

}  // namespace vorsk
