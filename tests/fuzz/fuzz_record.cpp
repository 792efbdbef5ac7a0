// The record reader an undo trusts: whatever a guest's ravlin.log holds, it is read from its
// end in bounded pieces, gives the same answer whatever the piece size, and names no driver
// file but the ones a repair copies, each with a well-formed digest.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/repair_record.hpp"

namespace {

bool Same(const ravlin::RecordedRepairs& a, const ravlin::RecordedRepairs& b) {
  const auto sameDriver = [](const auto& x, const auto& y) {
    return x.name == y.name && x.sha256 == y.sha256;
  };
  return a.hiveAfterSha256 == b.hiveAfterSha256 && a.backupSha256 == b.backupSha256 &&
         a.fault == b.fault && a.ignoredLines == b.ignoredLines &&
         a.ignoredCount == b.ignoredCount &&
         std::equal(a.copiedDrivers.begin(), a.copiedDrivers.end(), b.copiedDrivers.begin(),
                    b.copiedDrivers.end(), sameDriver);
}

bool WellFormedDigest(const std::string& digest) {
  return digest.size() == 64 && std::all_of(digest.begin(), digest.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
         });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks a piece size, so that lines cross piece boundaries anywhere.
  const std::size_t pieceSize = std::size_t{data[0]} + 1;
  const std::string record(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::size_t largestRead = 0;
  const ravlin::RecordedRepairs inPieces = ravlin::ReadRecordedRepairs(
      record.size(),
      [&](std::uint64_t offset, std::size_t length) {
        if (offset + length > record.size()) std::abort();
        largestRead = std::max(largestRead, length);
        return record.substr(static_cast<std::size_t>(offset), length);
      },
      pieceSize);
  if (largestRead > pieceSize) std::abort();
  if (!Same(inPieces, ravlin::ReadRecordedRepairs(record))) std::abort();

  for (const auto& driver : inPieces.copiedDrivers) {
    const bool ide = std::find(ravlin::kIdeDriverFiles.begin(), ravlin::kIdeDriverFiles.end(),
                               driver.name) != ravlin::kIdeDriverFiles.end();
    if (ide == driver.vendor || (driver.vendor && !ravlin::IsVendorDriverFileName(driver.name)) ||
        !WellFormedDigest(driver.sha256))
      std::abort();
  }
  for (const auto* digest : {&inPieces.hiveAfterSha256, &inPieces.backupSha256})
    if (*digest && !WellFormedDigest(**digest)) std::abort();
  if (inPieces.ignoredLines.size() > inPieces.ignoredCount) std::abort();
  return 0;
}
