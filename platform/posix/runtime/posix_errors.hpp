#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

#include "platform/posix/files/drive_table.hpp"
#include "platform/runtime_error.hpp"

namespace ravlin {

// The classic run-time error number for a failed system call's errno; a missing entry gives
// `notFoundNumber` (53 File not found for a file, 76 Path not found for a folder).
std::int32_t ClassicErrorNumber(int errnoValue,
                                std::int32_t notFoundNumber = vb_error::kFileNotFound);
RuntimeError ErrorFromErrno(int errnoValue, std::int32_t notFoundNumber = vb_error::kFileNotFound);
RuntimeError ErrorFromCode(const std::error_code& code,
                           std::int32_t notFoundNumber = vb_error::kFileNotFound);

// The machine's path for a path text (see DriveTable::ResolveNative); throws 76 Path not
// found when the text reaches no drive.
std::filesystem::path NativePathOrThrow(const DriveTable& drives, const std::string& path);

// Whether a path text holds the wildcard characters * or ?.
bool HasWildcards(const std::string& path);

}  // namespace ravlin
