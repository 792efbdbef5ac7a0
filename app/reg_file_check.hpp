#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "tools/regedit/reg_file.hpp"

namespace ravlin {

// Why a registry file must not be imported into one control set (`refusal`, "" when it may): the
// file cannot be read, or a key it opens or deletes lies outside HKEY_LOCAL_MACHINE\`controlSetKey`
// (deleting the control set itself counts as outside). A file for the guest's control set
// that wrote anywhere else would change the running system or the guest's other settings.
struct CheckedRegFile {
  std::vector<RegOperation> operations;  // what the file changes, when it may be imported
  std::string refusal;
};
CheckedRegFile CheckRegFile(std::string_view content, std::string_view controlSetKey);

}  // namespace ravlin
