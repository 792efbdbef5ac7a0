#include <array>
#include <cstdio>
#include <map>
#include <string>

#include "app/continue_on_error.hpp"
#include "app/driver_sources.hpp"
#include "app/form1.hpp"
#include "app/hive_recovery_note.hpp"
#include "app/scratch_folder.hpp"
#include "platform/codepage.hpp"
#include "platform/text_bytes.hpp"
#include "system/modRegistry.hpp"

namespace ravlin {
namespace {

// Unmounts the scratch copy whatever happens after its mount.
class ScratchMount {
 public:
  explicit ScratchMount(Registry& registry) : registry_(registry) {}
  ScratchMount(const ScratchMount&) = delete;
  ScratchMount& operator=(const ScratchMount&) = delete;
  ~ScratchMount() { registry_.RegUnLoadKeyA(kHkeyLocalMachine, std::string(kMountName)); }

 private:
  Registry& registry_;
};

std::string Quoted(const std::string& text) {
  std::string quoted = "\"";
  for (const char c : text)
    quoted += (c == '\\' || c == '"') ? std::string{'\\', c} : std::string{c};
  return quoted + "\"";
}

// A value as regedit exports it.
std::string RegText(const HiveValue& value) {
  const std::string name = value.name.empty() ? "@" : Quoted(value.name);
  if (value.type == kRegSz) {
    return name + "=" + Quoted(Utf16ToAnsi(Utf16StringFromLe(value.data)));
  }
  if (value.type == kRegDword && value.data.size() == 4) {
    char digits[9];
    std::snprintf(digits, sizeof digits, "%08x", ReadLe32(value.data));
    return name + "=dword:" + digits;
  }
  std::string text =
      name + (value.type == kRegBinary ? "=hex:" : "=hex(" + std::to_string(value.type) + "):");
  for (std::size_t i = 0; i < value.data.size(); ++i) {
    char byte[4];
    std::snprintf(byte, sizeof byte, "%02x", value.data[i]);
    if (i != 0) text += ',';
    text += byte;
  }
  return text;
}

using KeyMap = std::map<std::string, HiveKey>;

KeyMap ByLowerPath(std::vector<HiveKey> keys) {
  KeyMap map;
  for (HiveKey& key : keys) map.emplace(LowerAscii(key.path), std::move(key));
  return map;
}

// The changes from `before` to `after` of one control set as a .reg file would write them.
std::string Difference(const KeyMap& before, const KeyMap& after, const std::string& prefix) {
  std::string text;
  for (const auto& [path, key] : after) {
    const auto old = before.find(path);
    std::string lines;
    for (const HiveValue& value : key.values) {
      const HiveValue* previous = nullptr;
      if (old != before.end())
        for (const HiveValue& candidate : old->second.values)
          if (EqualsIgnoringAsciiCase(candidate.name, value.name)) previous = &candidate;
      if (previous == nullptr || previous->type != value.type || previous->data != value.data)
        lines += RegText(value) + "\r\n";
    }
    if (old != before.end())
      for (const HiveValue& value : old->second.values) {
        bool kept = false;
        for (const HiveValue& candidate : key.values)
          kept = kept || EqualsIgnoringAsciiCase(candidate.name, value.name);
        if (!kept) lines += (value.name.empty() ? "@" : Quoted(value.name)) + "=-\r\n";
      }
    if (old == before.end() || !lines.empty())
      text += "[" + prefix + (key.path.empty() ? "" : "\\" + key.path) + "]\r\n" + lines;
  }
  for (const auto& [path, key] : before)
    if (!after.contains(path)) text += "[-" + prefix + "\\" + key.path + "]\r\n";
  return text;
}

}  // namespace

void Form1::SetDryRun(bool dryRun) {
  dryRun_ = dryRun;
}

bool Form1::DryRun() {
  const std::string title = std::string(kApplicationTitle) + " - dry run";
  const std::string guest = Text(ControlId::Text1);
  std::string subKeys;
  if (modRegistry::RegEnumSubKeys(platform_, "HKLM", std::string(kMountName), subKeys) == 0) {
    platform_.ui->MessageBox("A hive is mounted as HKLM\\" + std::string(kMountName) +
                                 " already; the dry run needs that name.  Nothing was changed.",
                             mb::kExclamation, title);
    return false;
  }
  std::string report = "Dry run for " + guest + ": nothing in the guest was changed.\r\n";
  bool completes = true;
  {
    const ScratchFolder scratch(platform_);
    const std::string copy = scratch / "system";
    platform_.files->CopyFile(guest + std::string(kHiveFragment), copy, false);
    CopyHiveLogs(*platform_.files, guest + std::string(kHiveFragment), copy);
    std::map<std::int16_t, KeyMap> before;
    for (std::int16_t n = 1; n <= kControlSetCount; ++n)
      if (auto keys = platform_.hiveReader->ReadTree(copy, ControlSetName(n)))
        before[n] = ByLowerPath(std::move(*keys));

    const std::int32_t mounted =
        platform_.registry->RegLoadKeyA(kHkeyLocalMachine, std::string(kMountName), copy);
    const std::string recovery = platform_.registry->LastLoadRecovery().Summary();
    if (mounted != kErrorSuccess) {
      platform_.ui->MessageBox("The scratch copy of the hive could not be mounted: status " +
                                   std::to_string(mounted) + ".  Nothing was changed." +
                                   (recovery.empty() ? "" : "\r\n" + recovery),
                               mb::kExclamation, title);
      return false;
    }
    if (!recovery.empty()) report += recovery + "\r\n";
    {
      const ScratchMount mount(*platform_.registry);
      SetText(ControlId::Label3, "Importing Registry Files...");
      for (std::int16_t N = 1; N <= kControlSetCount; ++N)
        if (modRegistry::RegEnumSubKeys(platform_, "HKLM", MountedControlSetKey(N), subKeys) == 0)
          ContinueOnError([&] { ImportRegFile(N); });
      if (vendorPlan_) ContinueOnError([this] { WriteVendorDriverKeys(); });
    }
    // A failed import has shown its box and set the abort flag, as in a repair.
    completes = !blnAbort;

    for (const auto& [n, keys] : before) {
      const std::string name = ControlSetName(n);
      const auto after = platform_.hiveReader->ReadTree(copy, name);
      const std::string difference =
          after ? Difference(keys, ByLowerPath(*after), "HKEY_LOCAL_MACHINE\\SYSTEM\\" + name) : "";
      report += "\r\nControl set " + std::to_string(n) + " (" + RegistryFileName(n) +
                "): " + (difference.empty() ? "no change\r\n" : "\r\n" + difference);
    }
    report += "\r\nStorage controllers of this computer after the repair:\r\n";
    for (const std::string& line : JudgeBoard(copy, kIdeDriverFiles)) report += line + "\r\n";
  }

  report += "\r\nDriver files:\r\n";
  const std::string drivers = guest + std::string(kDriverFolderFragment) + "\\";
  for (const std::string_view driver : kIdeDriverFiles) {
    const std::string name(driver);
    const std::string shipped = RequiredFilePath(platform_.environment->ProgramFolder(), name);
    if (platform_.files->FileExists(drivers + name)) {
      report += name + ": present, left alone\r\n";
    } else if (platform_.files->FileExists(shipped)) {
      report += name + ": would be copied from " + shipped + "\r\n";
    } else {
      const DriverSearch search = FindDriverCopy(platform_, guest, driver, installationSource_);
      for (const std::string& line : search.skipped) report += line + "\r\n";
      completes = completes && search.found.has_value();
      report += name +
                (search.found ? ": would be copied from " + search.found->source
                              : ": no copy found; the repair would stop here") +
                "\r\n";
    }
  }
  if (vendorPlan_)
    report += vendorPlan_->fileName + ": would be copied from " + vendorPlan_->imageSource + "\r\n";
  report += completes ? "\r\nA repair would complete.\r\n"
                      : "\r\nA repair would stop: see the lines above.\r\n";
  platform_.ui->ShowReport(report, title);
  return completes;
}

}  // namespace ravlin
