#pragma once

#include <iosfwd>
#include <memory>
#include <string>

#include "platform/drives.hpp"
#include "platform/posix/files/drive_table.hpp"

namespace ravlin {

// The Properties window on Linux. On a desktop (DISPLAY or WAYLAND_DISPLAY set) the file
// manager is asked through the freedesktop FileManager1 interface, by a gdbus process that is
// started and left running; without a desktop, or when gdbus cannot be started, the file's
// details are printed to `console`.
class PosixShell : public Shell {
 public:
  PosixShell(std::shared_ptr<const DriveTable> drives, std::ostream& console);

  void ShowProperties(const std::string& path) override;

 private:
  bool AskFileManager(const std::string& uri);
  void PrintDetails(const std::string& path);

  std::shared_ptr<const DriveTable> drives_;
  std::ostream& console_;
};

// "file://" and the path with every byte outside the unreserved set and "/" escaped as %XX.
std::string FileUri(const std::string& nativePath);

}  // namespace ravlin
