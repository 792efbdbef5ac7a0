#pragma once

#include <filesystem>

namespace ravlin {

// The store that the values of RAVLIN_REGISTRY, XDG_STATE_HOME and HOME (each null when
// unset) choose: RAVLIN_REGISTRY, else $XDG_STATE_HOME/ravlin/registry, else
// ~/.local/state/ravlin/registry.
std::filesystem::path RegistryStoreFor(const char* registry, const char* stateHome,
                                       const char* home);

}  // namespace ravlin
