// What the holder of a mounted hive reads from its socket, which any process of the user can
// write: whatever the bytes, decoding them ends, and what decodes encodes back to the same
// bytes, so that no change is applied that the importer did not send.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "platform/posix/registry/import_wire.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> bytes(data, size);
  if (const auto operations = ravlin::DecodeOperations(bytes)) {
    const auto again = ravlin::EncodeOperations(*operations);
    if (!std::equal(again.begin(), again.end(), bytes.begin(), bytes.end())) std::abort();
  }
  if (const auto reply = ravlin::DecodeReply(bytes)) {
    const auto again = ravlin::EncodeReply(*reply);
    if (!std::equal(again.begin(), again.end(), bytes.begin(), bytes.end())) std::abort();
  }
  return 0;
}
