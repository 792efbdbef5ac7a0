// The registry-file parser: an explicit state machine with one small function per state, in
// the manner of Wine's regedit. Unlike the registry editor, which skips a line it cannot read
// and imports the rest, every fault here stops the parse, so that a damaged file changes
// nothing at all.
#include <array>
#include <string_view>

#include "platform/codepage.hpp"
#include "platform/text_bytes.hpp"
#include "tools/regedit/reg_file.hpp"

namespace ravlin {
namespace {

// Windows' limits: a key name component of 255 characters, a value name of 16,383.
constexpr std::size_t kMaxKeyComponent = 255;
constexpr std::size_t kMaxValueName = 16383;

enum class State {
  kHeader,            // the first line names the format
  kLineStart,         // at the start of a line: a key, a value, a comment or nothing
  kKeyName,           // inside [...]
  kDefaultValueName,  // at @
  kQuotedValueName,   // inside "name"
  kDataStart,         // at the = after a value name
  kDeleteValue,       // at the - of name=-
  kDataType,          // at the type tag of the data
  kStringData,        // inside "data"
  kDwordData,         // after dword:
  kHexData,           // inside comma-separated hex bytes
  kHexContinuation,   // after a backslash at the end of a line of hex bytes
  kDone,
};

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}

int HexDigit(char16_t c) {
  if (c >= u'0' && c <= u'9') return c - u'0';
  if (c >= u'a' && c <= u'f') return c - u'a' + 10;
  if (c >= u'A' && c <= u'F') return c - u'A' + 10;
  return -1;
}

class Parser {
 public:
  explicit Parser(const std::vector<std::u16string>& lines) : lines_(lines) {}

  std::vector<RegOperation> Run();

 private:
  using StateFunction = State (Parser::*)();

  State Header();
  State LineStart();
  State KeyName();
  State DefaultValueName();
  State QuotedValueName();
  State DataStart();
  State DeleteValue();
  State DataType();
  State StringData();
  State DwordData();
  State HexData();
  State HexContinuation();

  static constexpr std::array<StateFunction, static_cast<std::size_t>(State::kDone)> kStates{
      &Parser::Header,          &Parser::LineStart, &Parser::KeyName,     &Parser::DefaultValueName,
      &Parser::QuotedValueName, &Parser::DataStart, &Parser::DeleteValue, &Parser::DataType,
      &Parser::StringData,      &Parser::DwordData, &Parser::HexData,     &Parser::HexContinuation,
  };

  [[noreturn]] void Fail(const std::string& reason) const {
    throw RegFileError(static_cast<int>(lineIndex_ + 1), reason);
  }
  bool NextLine();
  void SkipBlanks();
  bool AtLineEnd();  // after blanks: nothing left but perhaps a comment
  void ExpectLineEnd(const std::string& after);
  std::u16string ReadQuoted(const std::string& what);
  std::string AnsiName(std::u16string_view name, const std::string& what) const;
  void ParseKeyPath(std::u16string_view text, RegOperation& operation) const;
  void AddValue(std::uint32_t type, std::vector<std::uint8_t> data);
  State FinishHexValue();

  const std::vector<std::u16string>& lines_;
  std::size_t lineIndex_ = 0;  // the line being read, counted from 0
  std::size_t nextLine_ = 0;
  std::u16string_view rest_;  // what is left of the current line
  bool ansiStrings_ = false;
  bool keyOpen_ = false;
  std::string valueName_;
  int valueLine_ = 0;
  std::uint32_t hexType_ = 0;
  std::vector<std::uint8_t> hexBytes_;
  bool afterComma_ = false;
  std::vector<RegOperation> operations_;
};

std::vector<RegOperation> Parser::Run() {
  State state = State::kHeader;
  while (state != State::kDone) state = (this->*kStates[static_cast<std::size_t>(state)])();
  return std::move(operations_);
}

bool Parser::NextLine() {
  if (nextLine_ >= lines_.size()) return false;
  lineIndex_ = nextLine_++;
  rest_ = lines_[lineIndex_];
  return true;
}

void Parser::SkipBlanks() {
  while (!rest_.empty() && IsBlank(rest_.front())) rest_.remove_prefix(1);
}

bool Parser::AtLineEnd() {
  SkipBlanks();
  return rest_.empty() || rest_.front() == u';';
}

void Parser::ExpectLineEnd(const std::string& after) {
  if (!AtLineEnd()) Fail("unexpected text after " + after);
}

std::u16string Parser::ReadQuoted(const std::string& what) {
  std::u16string text;
  while (!rest_.empty()) {
    const char16_t c = rest_.front();
    rest_.remove_prefix(1);
    if (c == u'"') return text;
    if (c != u'\\') {
      text += c;
      continue;
    }
    if (rest_.empty() || (rest_.front() != u'\\' && rest_.front() != u'"'))
      Fail("the " + what + " holds a backslash that is neither \\\\ nor \\\"");
    text += rest_.front();
    rest_.remove_prefix(1);
  }
  Fail("the " + what + " lacks its closing quotation mark");
}

std::string Parser::AnsiName(std::u16string_view name, const std::string& what) const {
  std::string ansi = Utf16ToAnsi(name);
  if (AnsiToUtf16(ansi) != name)
    Fail("the " + what + " \"" + Utf16ToUtf8(name) +
         "\" has characters outside the ANSI code page");
  return ansi;
}

void Parser::ParseKeyPath(std::u16string_view text, RegOperation& operation) const {
  const auto slash = text.find(u'\\');
  const auto rootName = text.substr(0, slash);
  operation.root = RootKeyFromRegName(rootName);
  if (operation.root == 0) Fail("unknown root key \"" + Utf16ToUtf8(rootName) + "\"");
  if (slash == std::u16string_view::npos) return;
  const auto path = text.substr(slash + 1);
  std::size_t start = 0;
  while (true) {
    const auto end = path.find(u'\\', start);
    const auto component = path.substr(start, end == std::u16string_view::npos ? end : end - start);
    if (component.empty())
      Fail("the key name \"" + Utf16ToUtf8(text) + "\" has an empty component");
    if (component.size() > kMaxKeyComponent)
      Fail("a component of the key name is longer than 255 characters");
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  operation.path = AnsiName(path, "key name");
}

void Parser::AddValue(std::uint32_t type, std::vector<std::uint8_t> data) {
  RegOperation operation;
  operation.kind = RegOperation::Kind::kSetValue;
  operation.line = valueLine_;
  operation.valueName = valueName_;
  operation.type = type;
  operation.data = std::move(data);
  operations_.push_back(std::move(operation));
}

State Parser::Header() {
  if (!NextLine()) Fail("the file is empty; a registry file starts with \"REGEDIT4\"");
  auto header = rest_;
  while (!header.empty() && IsBlank(header.back())) header.remove_suffix(1);
  if (header == u"REGEDIT4") {
    ansiStrings_ = true;
  } else if (header != u"Windows Registry Editor Version 5.00") {
    Fail(
        "not a registry file: the first line must be \"REGEDIT4\" or "
        "\"Windows Registry Editor Version 5.00\"");
  }
  return State::kLineStart;
}

State Parser::LineStart() {
  if (!NextLine()) return State::kDone;
  if (AtLineEnd()) return State::kLineStart;
  switch (rest_.front()) {
    case u'[':
      rest_.remove_prefix(1);
      return State::kKeyName;
    case u'@':
      return State::kDefaultValueName;
    case u'"':
      rest_.remove_prefix(1);
      return State::kQuotedValueName;
    default:
      Fail("unexpected text \"" + Utf16ToUtf8(rest_) + "\"");
  }
}

State Parser::KeyName() {
  const auto close = rest_.rfind(u']');
  if (close == std::u16string_view::npos) Fail("the key name lacks its closing bracket");
  auto name = rest_.substr(0, close);
  rest_.remove_prefix(close + 1);
  ExpectLineEnd("the key name");
  RegOperation operation;
  operation.line = static_cast<int>(lineIndex_ + 1);
  operation.kind = RegOperation::Kind::kOpenKey;
  if (!name.empty() && name.front() == u'-') {
    operation.kind = RegOperation::Kind::kDeleteKey;
    name.remove_prefix(1);
  }
  if (name.empty() || IsBlank(name.front()) || IsBlank(name.back()))
    Fail("the key name \"" + Utf16ToUtf8(name) + "\" is empty or has blanks around it");
  ParseKeyPath(name, operation);
  if (operation.kind == RegOperation::Kind::kDeleteKey && operation.path.empty())
    Fail("a root key cannot be deleted");
  keyOpen_ = operation.kind == RegOperation::Kind::kOpenKey;
  operations_.push_back(std::move(operation));
  return State::kLineStart;
}

State Parser::DefaultValueName() {
  rest_.remove_prefix(1);
  valueName_.clear();
  return State::kDataStart;
}

State Parser::QuotedValueName() {
  const auto name = ReadQuoted("value name");
  if (name.size() > kMaxValueName) Fail("the value name is longer than 16383 characters");
  valueName_ = AnsiName(name, "value name");
  return State::kDataStart;
}

State Parser::DataStart() {
  if (!keyOpen_) Fail("a value outside a key: a [key] line must come first");
  valueLine_ = static_cast<int>(lineIndex_ + 1);
  SkipBlanks();
  if (rest_.empty() || rest_.front() != u'=') Fail("the value name is not followed by =");
  rest_.remove_prefix(1);
  SkipBlanks();
  return !rest_.empty() && rest_.front() == u'-' ? State::kDeleteValue : State::kDataType;
}

State Parser::DeleteValue() {
  rest_.remove_prefix(1);
  ExpectLineEnd("=-");
  RegOperation operation;
  operation.kind = RegOperation::Kind::kDeleteValue;
  operation.line = valueLine_;
  operation.valueName = valueName_;
  operations_.push_back(std::move(operation));
  return State::kLineStart;
}

State Parser::DataType() {
  if (!rest_.empty() && rest_.front() == u'"') {
    rest_.remove_prefix(1);
    return State::kStringData;
  }
  if (StartsWithIgnoringAsciiCase(rest_, u"dword:")) {
    rest_.remove_prefix(6);
    return State::kDwordData;
  }
  hexBytes_.clear();
  afterComma_ = false;
  if (StartsWithIgnoringAsciiCase(rest_, u"hex:")) {
    rest_.remove_prefix(4);
    hexType_ = kRegBinary;
    return State::kHexData;
  }
  if (StartsWithIgnoringAsciiCase(rest_, u"hex(")) {
    rest_.remove_prefix(4);
    std::uint64_t type = 0;
    int digits = 0;
    for (; !rest_.empty() && HexDigit(rest_.front()) >= 0; rest_.remove_prefix(1), ++digits)
      type = type * 16 + static_cast<std::uint64_t>(HexDigit(rest_.front()));
    if (digits == 0 || digits > 8 || !StartsWithIgnoringAsciiCase(rest_, u"):"))
      Fail("hex(N): needs a type number of one to eight hex digits");
    rest_.remove_prefix(2);
    hexType_ = static_cast<std::uint32_t>(type);
    return State::kHexData;
  }
  Fail("unknown value type \"" + Utf16ToUtf8(rest_) + "\"");
}

State Parser::StringData() {
  auto text = ReadQuoted("string");
  ExpectLineEnd("the string");
  text += u'\0';
  AddValue(kRegSz, Utf16ToLe(text));
  return State::kLineStart;
}

State Parser::DwordData() {
  std::uint32_t value = 0;
  int digits = 0;
  for (; !rest_.empty() && HexDigit(rest_.front()) >= 0; rest_.remove_prefix(1), ++digits)
    value = value * 16 + static_cast<std::uint32_t>(HexDigit(rest_.front()));
  if (digits == 0 || digits > 8) Fail("dword: needs one to eight hex digits");
  ExpectLineEnd("the dword");
  const auto bytes = Le32Bytes(value);
  AddValue(kRegDword, {bytes.begin(), bytes.end()});
  return State::kLineStart;
}

State Parser::HexData() {
  while (true) {
    if (AtLineEnd()) {
      if (afterComma_) Fail("the hex data ends with a comma");
      return FinishHexValue();
    }
    const char16_t c = rest_.front();
    if (c == u'\\') {
      if (!hexBytes_.empty() && !afterComma_) Fail("a comma must come before the backslash");
      rest_.remove_prefix(1);
      ExpectLineEnd("the backslash that continues the hex data");
      return State::kHexContinuation;
    }
    if (c == u',') {
      if (hexBytes_.empty() || afterComma_) Fail("the hex data has an empty byte");
      afterComma_ = true;
      rest_.remove_prefix(1);
      continue;
    }
    if (HexDigit(c) < 0) Fail("invalid character in the hex data");
    if (!hexBytes_.empty() && !afterComma_) Fail("the hex bytes must be separated by commas");
    int value = 0;
    int digits = 0;
    // A third digit fails before it is added: a long run of digits must not overflow.
    for (; !rest_.empty() && HexDigit(rest_.front()) >= 0; rest_.remove_prefix(1), ++digits) {
      if (digits == 2) Fail("a hex byte has more than two digits");
      value = value * 16 + HexDigit(rest_.front());
    }
    hexBytes_.push_back(static_cast<std::uint8_t>(value));
    afterComma_ = false;
  }
}

State Parser::HexContinuation() {
  if (!NextLine()) Fail("the hex data continues past the end of the file");
  if (AtLineEnd()) Fail("the line after a backslash must continue the hex data");
  return State::kHexData;
}

State Parser::FinishHexValue() {
  const bool stringType = hexType_ == kRegSz || hexType_ == kRegExpandSz || hexType_ == kRegMultiSz;
  if (ansiStrings_ && stringType) {
    // REGEDIT4 files hold these strings in the ANSI code page; the hive keeps them as
    // UTF-16LE, as Windows' editor converts them on import.
    const std::string_view ansi(reinterpret_cast<const char*>(hexBytes_.data()), hexBytes_.size());
    AddValue(hexType_, Utf16ToLe(AnsiToUtf16(ansi)));
  } else {
    AddValue(hexType_, std::move(hexBytes_));
  }
  hexBytes_.clear();
  return State::kLineStart;
}

}  // namespace

std::vector<RegOperation> ParseRegFile(const std::vector<std::u16string>& lines) {
  return Parser(lines).Run();
}

}  // namespace ravlin
