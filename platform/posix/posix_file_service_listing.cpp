#include "platform/posix/posix_file_service.hpp"
#include "platform/runtime_error.hpp"

namespace ravlin {

FolderListing PosixFileService::GetFolder(const std::string&) {
  throw RuntimeError(vb_error::kNotAvailableYet);
}

FileDetails PosixFileService::GetFile(const std::string&) {
  throw RuntimeError(vb_error::kNotAvailableYet);
}

std::string PosixFileService::ReadAllText(const std::string&) {
  throw RuntimeError(vb_error::kNotAvailableYet);
}

std::string PosixFileService::GetFileVersion(const std::string&) {
  throw RuntimeError(vb_error::kNotAvailableYet);
}

}  // namespace ravlin
