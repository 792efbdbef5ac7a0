#include "app/guest_windows.hpp"

#include "app/form1.hpp"
#include "platform/codepage.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

constexpr std::string_view kVersionKey = "Microsoft\\Windows NT\\CurrentVersion";

std::string StringData(const HiveValue& value) {
  return Utf16ToAnsi(Utf16StringFromLe(value.data));
}

std::optional<std::string> SoftwareString(HiveReader& reader, const std::string& hive,
                                          const std::string& name) {
  const auto value = reader.ReadValue(hive, std::string(kVersionKey), name);
  if (!value || (value->type != kRegSz && value->type != kRegExpandSz)) return std::nullopt;
  return StringData(*value);
}

GuestWindows FromVersion(const std::string& version, const std::string& productName) {
  const std::string named = (productName.empty() ? "Windows" : productName) + " (version " +
                            version + ", from the SOFTWARE hive)";
  if (version == "5.0" || version == "5.1" || version == "5.2")
    return {GuestWindows::Family::kNt5, named};
  return {GuestWindows::Family::kOther, named};
}

}  // namespace

std::string CurrentControlSet(HiveReader& reader, const std::string& hive) {
  const auto current = reader.ReadValue(hive, "Select", "Current");
  std::uint32_t number = 1;
  if (current && current->type == kRegDword && current->data.size() == 4)
    number = ReadLe32(current->data);
  const std::string digits = std::to_string(number);
  return "ControlSet" + std::string(digits.size() < 3 ? 3 - digits.size() : 0, '0') + digits;
}

GuestWindows IdentifyGuestWindows(HiveReader& reader, const std::string& guest) {
  const std::string software = guest + "\\system32\\config\\software";
  if (const auto version = SoftwareString(reader, software, "CurrentVersion"))
    return FromVersion(*version, SoftwareString(reader, software, "ProductName").value_or(""));

  const std::string system = guest + std::string(kHiveFragment);
  const std::string services = CurrentControlSet(reader, system) + "\\Services\\";
  if (reader.KeyExists(system, services + "volmgr"))
    return {GuestWindows::Family::kOther,
            "Windows Vista or later (its SYSTEM hive loads volmgr; no SOFTWARE hive read)"};
  if (reader.KeyExists(system, services + "ftdisk"))
    return {GuestWindows::Family::kNt5,
            "Windows 2000, XP or Server 2003 (its SYSTEM hive loads ftdisk; no SOFTWARE hive "
            "read)"};
  return {GuestWindows::Family::kUnknown,
          "unknown (no readable SOFTWARE hive, no volume driver in the SYSTEM hive)"};
}

void Form1::CheckGuestWindows() {
  const GuestWindows windows = IdentifyGuestWindows(*platform_.hiveReader, Text(ControlId::Text1));
  record_.Add("Windows: " + windows.description);
  if (windows.family != GuestWindows::Family::kOther) return;
  if (force_) {
    const std::string going = "The Windows in " + Text(ControlId::Text1) + " is " +
                              windows.description + "; --force goes on without asking.";
    record_.Add(going);
    view_.StatusExplained(going);
    return;
  }
  const int answer = platform_.ui->MessageBox(
      "The Windows in " + Text(ControlId::Text1) + " is " + windows.description +
          ".\r\n\r\nRavlin's settings and drivers are for Windows 2000, XP and Server 2003. A "
          "later Windows needs a different fix after a board change (its own storage driver "
          "enabled), and these changes may keep it from starting.\r\n\r\nContinue anyway?",
      mb::kYesNo | mb::kExclamation | mb::kDefaultButton2, std::string(kApplicationTitle));
  if (answer == mb::kIdYes) return;
  abortStage_ = "the Windows version check";
  blnAbort = true;
}

}  // namespace ravlin
