#include "platform/win32/runtime/win32_errors.hpp"

#include <windows.h>

namespace ravlin {

std::int32_t ClassicErrorNumber(std::uint32_t windowsError, std::int32_t notFoundNumber) {
  switch (windowsError) {
    case ERROR_FILE_NOT_FOUND:
      return notFoundNumber;
    case ERROR_PATH_NOT_FOUND:
    case ERROR_BAD_NETPATH:
    case ERROR_DIRECTORY:
      return vb_error::kPathNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_WRITE_PROTECT:
    case ERROR_CURRENT_DIRECTORY:
    case ERROR_DIR_NOT_EMPTY:
      return vb_error::kPermissionDenied;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return vb_error::kFileAlreadyExists;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return vb_error::kDiskFull;
    case ERROR_TOO_MANY_OPEN_FILES:
      return vb_error::kTooManyFiles;
    case ERROR_CRC:
    case ERROR_SEEK:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
      return vb_error::kDeviceIoError;
    case ERROR_NOT_READY:
    case ERROR_INVALID_DRIVE:
      return vb_error::kDiskNotReady;
    case ERROR_INVALID_NAME:
    case ERROR_FILENAME_EXCED_RANGE:
    case ERROR_BAD_PATHNAME:
      return vb_error::kBadFileName;
    case ERROR_INVALID_PARAMETER:
      return vb_error::kInvalidProcedureCall;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return vb_error::kOutOfMemory;
    default:
      return vb_error::kPathFileAccessError;
  }
}

RuntimeError ErrorFromLastError(std::int32_t notFoundNumber) {
  return RuntimeError(ClassicErrorNumber(::GetLastError(), notFoundNumber));
}

}  // namespace ravlin
