#pragma once

#include <string>

#include "platform/file_service.hpp"

namespace ravlin {

// Copies the transaction logs beside `hive` (its .LOG, .LOG1 and .LOG2, those that exist) to
// the same names beside `copy`, so that a scratch copy of a dirty hive is recovered as the
// guest's own would be.
void CopyHiveLogs(FileService& files, const std::string& hive, const std::string& copy);

}  // namespace ravlin
