#pragma once

#include "platform/win32/runtime/windows_api.hpp"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/file_service.hpp"
#include "platform/runtime_error.hpp"

namespace ravlin {

// Whether a path text holds the wildcard characters * or ?.
bool HasWildcards(const std::string& path);
// "C:", "C:\": a drive designation with nothing after it.
bool IsBareDrive(const std::string& path);

// The absolute form of a path text (GetFullPathNameW: "." and ".." resolved, slashes turned
// into backslashes); throws 76 for a text the system cannot complete.
std::wstring FullPath(const std::string& path);
// The same with the components that exist in their long form, so that a short (8.3) name and
// the long one compare equal.
std::wstring LongFullPath(const std::string& path);
// The folder holding the entry of a full path ("C:\" for "C:\a"), final separators aside.
std::wstring ParentFolder(std::wstring full);
// The file or folder attributes, nothing for a missing entry (GetLastError tells why).
std::optional<DWORD> AttributesOf(const std::wstring& path);
bool IsFolder(DWORD attributes);
// The error for an entry that could not be reached (GetLastError): a missing entry or a missing
// folder on its way are both `notFoundNumber`, as for a file that simply is not there.
RuntimeError MissingEntryError(std::int32_t notFoundNumber);

// The identity of a file or folder (its volume's serial number and its index there): equal
// for every name of one file. Asked with no access at all, so that a file another program
// holds open without sharing (the running system's hives) answers too.
using FileIdentity = std::pair<DWORD, std::uint64_t>;
std::optional<FileIdentity> IdentityOf(const std::wstring& path);

// The whole content of a file, nothing when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::wstring& path);

// The text upper-cased by the system's table, as the file system compares names.
std::wstring UpperCase(std::wstring text);
// A path text with its drive letter in capitals, as the system reports paths.
std::string WithCapitalDrive(std::string path);

FileTime TimeOf(const FILETIME& time);
std::uint64_t SizeOf(DWORD high, DWORD low);

}  // namespace ravlin
