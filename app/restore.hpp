#pragma once

#include <filesystem>
#include <iosfwd>

#include "platform/platform.hpp"

namespace ravlin {

// Undoes the repairs the guest's record names: the hive backup becomes the guest hive again
// (the repaired hive kept beside it as system.ravlin-repaired) and the IDE driver files the
// repairs copied into system32\drivers are deleted while they are still what was copied.
// Everything is read and changed beneath the guest folder, regular files only; the record is
// read from its end in bounded memory, and is appended to last, so that a second run finishes
// an undo that was interrupted. Refuses, changing nothing, while a hive is mounted for a
// repair, without a backup or a readable record, and when the hive changed since the repair.
// Reports on `out`; 0 when restored, 1 when refused or stopped.
int RestoreGuest(Platform platform, const std::filesystem::path& guestFolder, std::ostream& out);

}  // namespace ravlin
