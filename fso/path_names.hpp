#pragma once

#include <string>

namespace ravlin {

// The text operations of the file-service component. They read only the text: the path
// need not exist. Backslashes and forward slashes both separate; a trailing separator is
// ignored; the root of a path ("C:\", "C:", "\\server\share\", "\") has no parent and no name.

// "C:\Windows\system32" -> "C:\Windows"; "C:\Windows" -> "C:\"; "C:\" -> ""; "name" -> "".
std::string GetParentFolderName(const std::string& path);
// "C:\Windows\atapi.sys" -> "atapi.sys"; "C:\Windows\" -> "Windows"; "C:\" -> "".
std::string GetFileName(const std::string& path);
// The text after the last dot of the last component: "atapi.sys" -> "sys"; "README" -> "".
std::string GetExtensionName(const std::string& path);

// Without leading and trailing spaces (code 32); other white space stays.
std::string TrimSpaces(const std::string& text);

}  // namespace ravlin
