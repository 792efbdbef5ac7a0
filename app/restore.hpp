#pragma once

#include <filesystem>
#include <iosfwd>

#include "platform/platform.hpp"

namespace ravlin {

// Undoes the repairs the guest's record names: the hive backup becomes the guest hive again
// (the repaired hive kept beside it as system.ravlin-repaired) and the driver files the
// repairs copied are deleted while they are still what was copied. Refuses, changing
// nothing, while a hive is mounted for a repair, without a backup or a record, and when the
// hive changed since the repair. Reports on `out`; 0 when restored, 1 when refused.
int RestoreGuest(Platform platform, const std::filesystem::path& guestFolder, std::ostream& out);

}  // namespace ravlin
