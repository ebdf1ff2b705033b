#include "cleanup/stages.h"

namespace vorsk {

void RemoveDriverFiles(Host&, const std::string&) {}

}  // namespace vorsk
