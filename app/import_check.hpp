#pragma once

#include <string>
#include <vector>

#include "platform/registry.hpp"
#include "tools/regedit/reg_file.hpp"

namespace ravlin {

// Reads back every key and value that a registry file's `operations` set or delete, where
// the import left them (the operations of a file CheckRegFile accepted, so every key lies
// below HKEY_LOCAL_MACHINE): the first one that is not as the file writes it (missing, still
// there after a delete, another type or other data), as one line for the failure box, or ""
// when every one is as written. The editor's exit code alone proves nothing: the system's
// editor ends with 0 whatever happened.
std::string FirstImportDifference(Registry& registry, const std::vector<RegOperation>& operations);

}  // namespace ravlin
