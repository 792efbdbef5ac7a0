#include "platform/posix/runtime/posix_errors.hpp"

#include <cerrno>

namespace ravlin {

std::int32_t ClassicErrorNumber(int errnoValue, std::int32_t notFoundNumber) {
  switch (errnoValue) {
    case ENOENT:
      return notFoundNumber;
    case ENOTDIR:
      return vb_error::kPathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
    case EBUSY:
    case ETXTBSY:
      return vb_error::kPermissionDenied;
    case EEXIST:
      return vb_error::kFileAlreadyExists;
    case ENOSPC:
    case EDQUOT:
      return vb_error::kDiskFull;
    case EMFILE:
    case ENFILE:
      return vb_error::kTooManyFiles;
    case EIO:
      return vb_error::kDeviceIoError;
    case ENXIO:
    case ENODEV:
    case ENOMEDIUM:
      return vb_error::kDiskNotReady;
    case ENAMETOOLONG:
    case EILSEQ:
      return vb_error::kBadFileName;
    case EINVAL:
      return vb_error::kInvalidProcedureCall;
    case ENOMEM:
      return vb_error::kOutOfMemory;
    default:
      return vb_error::kPathFileAccessError;
  }
}

RuntimeError ErrorFromErrno(int errnoValue, std::int32_t notFoundNumber) {
  return RuntimeError(ClassicErrorNumber(errnoValue, notFoundNumber));
}

RuntimeError ErrorFromCode(const std::error_code& code, std::int32_t notFoundNumber) {
  if (code.category() == std::generic_category() || code.category() == std::system_category())
    return ErrorFromErrno(code.value(), notFoundNumber);
  return RuntimeError(vb_error::kPathFileAccessError);
}

std::filesystem::path NativePathOrThrow(const DriveTable& drives, const std::string& path) {
  auto native = drives.ResolveNative(path);
  if (!native) throw RuntimeError(vb_error::kPathNotFound);
  return *native;
}

bool HasWildcards(const std::string& path) {
  return path.find_first_of("*?") != std::string::npos;
}

}  // namespace ravlin
