#include "platform/posix/registry/import_wire.hpp"

#include <limits>

namespace ravlin {
namespace {

class Writer {
 public:
  void Number(std::uint64_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
  }
  void Bytes(std::span<const std::uint8_t> bytes) {
    Number(bytes.size(), 4);
    out_.insert(out_.end(), bytes.begin(), bytes.end());
  }
  void Text(const std::string& text) {
    Bytes(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
  }
  std::vector<std::uint8_t> Take() { return std::move(out_); }

 private:
  std::vector<std::uint8_t> out_;
};

// Reads what Writer wrote; any read past the end leaves it failed, and every later read too.
class Reader {
 public:
  explicit Reader(std::span<const std::uint8_t> in) : in_(in) {}
  std::uint64_t Number(int bytes) {
    if (in_.size() < static_cast<std::size_t>(bytes)) return Fail();
    std::uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= std::uint64_t{in_[i]} << (8 * i);
    in_ = in_.subspan(static_cast<std::size_t>(bytes));
    return value;
  }
  std::vector<std::uint8_t> Bytes() {
    const auto size = Number(4);
    if (size > in_.size()) return Fail(), std::vector<std::uint8_t>{};
    std::vector<std::uint8_t> bytes(in_.begin(), in_.begin() + static_cast<long>(size));
    in_ = in_.subspan(size);
    return bytes;
  }
  std::string Text() {
    const auto bytes = Bytes();
    return {bytes.begin(), bytes.end()};
  }
  bool Done() const { return ok_ && in_.empty(); }
  bool ok() const { return ok_; }

 private:
  std::uint64_t Fail() {
    ok_ = false;
    in_ = {};
    return 0;
  }
  std::span<const std::uint8_t> in_;
  bool ok_ = true;
};

constexpr auto kLastKind = static_cast<std::uint64_t>(RegOperation::Kind::kDeleteValue);

}  // namespace

std::vector<std::uint8_t> EncodeOperations(const std::vector<RegOperation>& operations) {
  Writer writer;
  writer.Number(operations.size(), 4);
  for (const auto& operation : operations) {
    writer.Number(static_cast<std::uint64_t>(operation.kind), 1);
    writer.Number(static_cast<std::uint32_t>(operation.line), 4);
    writer.Number(operation.root, 4);
    writer.Text(operation.path);
    writer.Text(operation.valueName);
    writer.Number(operation.type, 4);
    writer.Bytes(operation.data);
  }
  return writer.Take();
}

std::optional<std::vector<RegOperation>> DecodeOperations(std::span<const std::uint8_t> bytes) {
  Reader reader(bytes);
  const auto count = reader.Number(4);
  std::vector<RegOperation> operations;
  for (std::uint64_t i = 0; i < count && reader.ok(); ++i) {
    RegOperation operation;
    const auto kind = reader.Number(1);
    if (kind > kLastKind) return std::nullopt;
    operation.kind = static_cast<RegOperation::Kind>(kind);
    const auto line = reader.Number(4);
    if (line > static_cast<std::uint64_t>(std::numeric_limits<int>::max())) return std::nullopt;
    operation.line = static_cast<int>(line);
    operation.root = static_cast<RegKey>(reader.Number(4));
    operation.path = reader.Text();
    operation.valueName = reader.Text();
    operation.type = static_cast<std::uint32_t>(reader.Number(4));
    operation.data = reader.Bytes();
    operations.push_back(std::move(operation));
  }
  if (!reader.Done()) return std::nullopt;
  return operations;
}

std::vector<std::uint8_t> EncodeReply(const ImportReply& reply) {
  Writer writer;
  writer.Number(static_cast<std::uint32_t>(reply.status), 4);
  writer.Text(reply.reason);
  return writer.Take();
}

std::optional<ImportReply> DecodeReply(std::span<const std::uint8_t> bytes) {
  Reader reader(bytes);
  ImportReply reply;
  reply.status = static_cast<std::int32_t>(static_cast<std::uint32_t>(reader.Number(4)));
  reply.reason = reader.Text();
  if (!reader.Done()) return std::nullopt;
  return reply;
}

}  // namespace ravlin
