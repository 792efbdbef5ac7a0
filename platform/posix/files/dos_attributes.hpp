#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>

#include "platform/file_service.hpp"

namespace ravlin {

// The DOS attributes of an entry of the machine. Directory comes from the entry's type and
// read-only from its write permission (no write bit at all); hidden, system and archive come
// from the file system's extended attribute: ntfs-3g's "system.ntfs_attrib_be" or
// "system.ntfs_attrib" (the real NTFS attributes, whose read-only bit also counts), else
// Samba's "user.DOSATTRIB" (a text "0x" and hexadecimal digits). An entry without stored
// attributes is a file with the archive bit, as Windows gives new files, or a plain folder.
// A name that starts with a dot is hidden. Throws RuntimeError (53 for a missing entry).
std::uint16_t ReadDosAttributes(const std::filesystem::path& native);
// The same for an entry whose status is known already.
std::uint16_t ReadDosAttributes(const std::filesystem::path& native, const struct stat& status);

// Sets read-only through the write permission and hidden, system and archive in the extended
// attribute. Where the file system stores no extended attributes, those three bits stay as
// they are. Throws RuntimeError.
void WriteDosAttributes(const std::filesystem::path& native, std::uint16_t attributes);

}  // namespace ravlin
