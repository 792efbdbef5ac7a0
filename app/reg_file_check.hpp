#pragma once

#include <string>
#include <string_view>

namespace ravlin {

// Why a registry file must not be imported into one control set, or "" when it may: the file
// cannot be read, or a key it opens or deletes lies outside HKEY_LOCAL_MACHINE\`controlSetKey`
// (deleting the control set itself counts as outside). A file for the guest's control set
// that wrote anywhere else would change the running system or the guest's other settings.
std::string RegFileRefusal(std::string_view content, std::string_view controlSetKey);

}  // namespace ravlin
