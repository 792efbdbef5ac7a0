#include "platform/posix/posix_file_service.hpp"
#include "platform/runtime_error.hpp"

namespace ravlin {

void PosixFileService::CopyFile(const std::string&, const std::string&, bool) {
  throw RuntimeError(vb_error::kNotAvailableYet);
}

void PosixFileService::MoveFile(const std::string&, const std::string&) {
  throw RuntimeError(vb_error::kNotAvailableYet);
}

void PosixFileService::DeleteFolder(const std::string&, bool) {
  throw RuntimeError(vb_error::kNotAvailableYet);
}

}  // namespace ravlin
