#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace ravlin {

// Key and value names as the hive compares them: ignoring case, as Windows' upcase table
// does for the letters of Latin, Greek and Cyrillic. Names are UTF-8 here.
bool SameRegistryName(std::string_view a, std::string_view b);
// The form in which names that SameRegistryName takes as equal are identical.
std::u16string FoldedRegistryName(std::string_view name);

// "A\B\\C" -> {"A", "B", "C"}: the components of an ANSI key path, as UTF-8.
std::vector<std::string> SplitKeyPath(const std::string& ansiPath);

}  // namespace ravlin
