#pragma once

#include <memory>
#include <string>

#include "platform/drives.hpp"
#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/files/guest_root.hpp"

namespace ravlin {

// The temporary folder ($TMPDIR, else /tmp) in drive-letter form, and unique temporary files
// named as Windows names them: three prefix characters, a hexadecimal number and ".TMP".
class PosixTempFiles : public TempFiles {
 public:
  // A file made below the chosen guest folder of `guest` stays beneath it (see GuestRoot).
  explicit PosixTempFiles(std::shared_ptr<const DriveTable> drives,
                          std::shared_ptr<GuestRoot> guest = std::make_shared<GuestRoot>());

  std::uint32_t GetTempPathA(std::uint32_t bufferLength, std::string& buffer) override;
  std::uint32_t GetTempFileNameA(const std::string& folder, const std::string& prefix,
                                 std::uint32_t unique, std::string& buffer) override;
  // An exclusive lock on the file.
  std::unique_ptr<TempHold> HoldTempFile(const std::string& path) override;
  void RemoveUnheldScratch(const std::string& prefix) override;

 private:
  std::shared_ptr<const DriveTable> drives_;
  std::shared_ptr<GuestRoot> guest_;
  // Where the search for a free number starts next; it moves on with every name handed out.
  std::uint32_t nextNumber_;
};

}  // namespace ravlin
