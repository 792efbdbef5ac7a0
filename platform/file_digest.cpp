#include "platform/file_service.hpp"
#include "platform/sha256.hpp"

namespace ravlin {

FileDigest FileService::DigestFile(const std::string& path, std::uint64_t largest) {
  constexpr std::size_t kPiece = 1 << 20;
  Sha256 digest;
  for (std::uint64_t at = 0;;) {
    const FilePart part = ReadFilePart(path, at, kPiece);
    if (part.fileSize > largest) return {part.fileSize, std::nullopt};
    digest.Add(part.bytes);
    at += part.bytes.size();
    if (part.bytes.empty() || at >= part.fileSize) return {part.fileSize, digest.Hex()};
  }
}

}  // namespace ravlin
