#include <algorithm>
#include <string>

#include "app/continue_on_error.hpp"
#include "app/form1.hpp"
#include "app/guest_windows.hpp"
#include "app/scratch_folder.hpp"
#include "app/txtsetup_oem.hpp"
#include "app/vendor_driver.hpp"
#include "platform/codepage.hpp"
#include "platform/pe_version.hpp"
#include "platform/runtime_error.hpp"
#include "platform/text_bytes.hpp"
#include "system/modRegistry.hpp"

namespace ravlin {
namespace {

constexpr std::int16_t kControlSets = 9;
constexpr std::string_view kDriverFolder = "system32\\DRIVERS\\";

// A key of the mounted hive, opened (made when missing) for as long as the object lives.
class MountedKey {
 public:
  MountedKey(Registry& registry, const std::string& path) : registry_(registry) {
    const std::int32_t status =
        registry_.RegCreateKeyExA(kHkeyLocalMachine, path, "", 0, kKeyAllAccess, key_, nullptr);
    if (status != kErrorSuccess)
      throw RuntimeError(75, "the key HKEY_LOCAL_MACHINE\\" + path + " cannot be written (status " +
                                 std::to_string(status) + ")");
  }
  MountedKey(const MountedKey&) = delete;
  MountedKey& operator=(const MountedKey&) = delete;
  ~MountedKey() { registry_.RegCloseKey(key_); }

  std::optional<std::vector<std::uint8_t>> Read(const std::string& name) {
    std::uint32_t type = 0;
    std::uint32_t size = 0;
    if (registry_.RegQueryValueExA(key_, name, &type, nullptr, &size) != kErrorSuccess)
      return std::nullopt;
    std::vector<std::uint8_t> data(size);
    if (registry_.RegQueryValueExA(key_, name, &type, data.data(), &size) != kErrorSuccess)
      return std::nullopt;
    data.resize(size);
    return data;
  }
  void Write(const std::string& name, std::uint32_t type, const std::vector<std::uint8_t>& data) {
    const std::int32_t status = registry_.RegSetValueExW(key_, name, type, data.data(),
                                                         static_cast<std::uint32_t>(data.size()));
    if (status != kErrorSuccess)
      throw RuntimeError(
          75, "the value " + name + " cannot be written (status " + std::to_string(status) + ")");
  }
  void WriteDword(const std::string& name, std::uint32_t value) {
    const auto bytes = Le32Bytes(value);
    Write(name, kRegDword, {bytes.begin(), bytes.end()});
  }
  void WriteString(const std::string& name, std::uint32_t type, const std::string& text) {
    std::vector<std::uint8_t> data = Utf16ToLe(AnsiToUtf16(text));
    data.insert(data.end(), {0, 0});
    Write(name, type, data);
  }

 private:
  Registry& registry_;
  RegKey key_ = 0;
};

// The names of the values a key got, for the record: "Type, Start, ...".
std::string Joined(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) text += (text.empty() ? "" : ", ") + name;
  return text;
}

std::string CriticalDeviceKey(const std::string& hardwareId) {
  std::string key = LowerAscii(hardwareId);
  std::replace(key.begin(), key.end(), '\\', '#');
  return key;
}

// The INF of the folder: the only one, or the one txtsetup.oem names.
std::string ChooseInf(const std::vector<std::string>& files,
                      const std::optional<TxtsetupOem>& oem) {
  std::vector<std::string> infs;
  for (const std::string& file : files)
    if (file.size() > 4 && EqualsIgnoringAsciiCase(file.substr(file.size() - 4), ".inf"))
      infs.push_back(file);
  if (infs.size() == 1) return infs.front();
  if (oem)
    for (const TxtsetupComponent& component : oem->components)
      for (const std::string& inf : infs)
        if (!component.infFile.empty() && EqualsIgnoringAsciiCase(inf, component.infFile))
          return inf;
  throw InfError(infs.empty() ? "the folder holds no INF file"
                              : "the folder holds several INF files and no txtsetup.oem names one");
}

}  // namespace

void Form1::SetDriverFolder(const std::filesystem::path& folder) {
  vendorDriverFolder_ = platform_.drives->ToDrivePath(folder);
  while (!vendorDriverFolder_.empty() && vendorDriverFolder_.back() == '\\')
    vendorDriverFolder_.pop_back();
}

void Form1::PrepareVendorDriver() {
  vendorPlan_.reset();
  if (vendorDriverFolder_.empty()) return;
  const std::string guest = Text(ControlId::Text1);
  const std::string& folder = vendorDriverFolder_;
  const auto readBytes = [&](const std::string& path) {
    const std::string text = platform_.files->ReadAllText(path);
    return std::vector<std::uint8_t>(text.begin(), text.end());
  };
  try {
    VendorDriverPlan plan;
    plan.folder = folder;
    std::vector<std::string> files;
    for (const std::string& file : platform_.files->GetFolder(folder).files)
      files.push_back(file.substr(file.find_last_of('\\') + 1));
    std::optional<TxtsetupOem> oem;
    if (platform_.files->FileExists(folder + "\\txtsetup.oem"))
      oem = ReadTxtsetupOem(InfFile::Parse(readBytes(folder + "\\txtsetup.oem")));
    plan.infFile = ChooseInf(files, oem);

    const std::string hive = GuestHiveFile();
    const auto architecture = platform_.hiveReader->ReadValue(
        hive,
        CurrentControlSet(*platform_.hiveReader, hive) + "\\Control\\Session Manager\\Environment",
        "PROCESSOR_ARCHITECTURE");
    const bool amd64 =
        architecture &&
        EqualsIgnoringAsciiCase(Utf16ToAnsi(Utf16StringFromLe(architecture->data)), "AMD64");
    plan.driver = ReadInfDriver(InfFile::Parse(readBytes(folder + "\\" + plan.infFile)),
                                amd64 ? GuestArchitecture::kAmd64 : GuestArchitecture::kX86);
    InfService& service = plan.driver.service;
    if (!StartsWithIgnoringAsciiCase(service.imagePath, kDriverFolder))
      throw InfError("its driver file does not go into system32\\drivers (ServiceBinary %12%)");
    plan.fileName = service.imagePath.substr(kDriverFolder.size());
    if (oem)
      for (const TxtsetupComponent& component : oem->components)
        for (const auto& id : component.hardwareIds)
          if (EqualsIgnoringAsciiCase(id.service.empty() ? component.service : id.service,
                                      service.name) &&
              std::none_of(
                  plan.driver.hardwareIds.begin(), plan.driver.hardwareIds.end(),
                  [&](const std::string& known) { return EqualsIgnoringAsciiCase(known, id.id); }))
            plan.driver.hardwareIds.push_back(id.id);
    if (plan.driver.hardwareIds.empty()) throw InfError("it names no hardware ID");

    // The file as the INF's source disk places it, else beside the INF.
    plan.imageSource = folder + "\\" + service.sourcePath;
    if (!platform_.files->FileExists(plan.imageSource))
      plan.imageSource = folder + "\\" + plan.fileName;
    if (!platform_.files->FileExists(plan.imageSource))
      throw InfError("its driver file " + service.sourcePath + " is not in the folder");
    plan.image = readBytes(plan.imageSource);
    if (!PeIsDriverImage(plan.image))
      throw InfError(plan.imageSource + " is no driver image (a PE file of the native subsystem)");
    if (PeMachine(plan.image) != (amd64 ? kMachineAmd64 : kMachineI386))
      throw InfError(plan.imageSource + " is built for another processor than the guest's (" +
                     std::string(amd64 ? "x64" : "x86") + ")");
    // An existing file of that name stays the guest's: an undo could not tell it apart.
    const std::string target = guest + "\\" + service.imagePath;
    if (platform_.files->FileExists(target) && readBytes(target) != plan.image)
      throw InfError("the guest already has a different " + service.imagePath);
    record_.Add(std::string(kVendorDriverLabel) + folder + "\\" + plan.infFile + ": service " +
                service.name + " for " + std::to_string(plan.driver.hardwareIds.size()) +
                " hardware IDs");
    vendorPlan_ = std::move(plan);
  } catch (const std::exception& error) {
    const auto* runtime = dynamic_cast<const RuntimeError*>(&error);
    const std::string reason = runtime != nullptr ? runtime->Description() : error.what();
    platform_.ui->MessageBox("The driver in " + folder + " cannot be installed:  " + reason +
                                 ".\r\nNothing was changed.",
                             mb::kCritical, std::string(kApplicationTitle));
    abortStage_ = "the driver check";
    blnAbort = true;
  }
}

void Form1::WriteVendorDriverKeys() {
  const VendorDriverPlan& plan = *vendorPlan_;
  const InfService& service = plan.driver.service;
  std::string subKeys;
  for (std::int16_t n = 1; n <= kControlSets; ++n) {
    const std::string controlSet = "ControlSet00" + std::to_string(n);
    const std::string base = std::string(kMountName) + "\\" + controlSet;
    if (modRegistry::RegEnumSubKeys(platform_, "HKLM", base, subKeys) != 0) continue;
    const auto noted = [&](const std::string& key, const std::vector<std::string>& values) {
      record_.Add("Vendor driver key: HKLM\\SYSTEM\\" + controlSet + "\\" + key +
                  (values.empty() ? "" : ": " + Joined(values)));
    };
    const std::string serviceKey = "Services\\" + service.name;
    {
      MountedKey key(*platform_.registry, base + "\\" + serviceKey);
      std::vector<std::string> names = {"Type", "Start", "ErrorControl", "ImagePath"};
      key.WriteDword("Type", service.type);
      key.WriteDword("Start", service.start);
      key.WriteDword("ErrorControl", service.errorControl);
      key.WriteString("ImagePath", kRegExpandSz, service.imagePath);
      if (!service.displayName.empty()) {
        key.WriteString("DisplayName", kRegSz, service.displayName);
        names.push_back("DisplayName");
      }
      if (!service.group.empty()) {
        key.WriteString("Group", kRegSz, service.group);
        MountedKey order(*platform_.registry, base + "\\Control\\GroupOrderList");
        const std::vector<std::uint8_t> list =
            order.Read(service.group).value_or(std::vector<std::uint8_t>{});
        const auto oldTag = key.Read("Tag");
        const std::uint32_t tag =
            oldTag && oldTag->size() == 4 && GroupOrderHasTag(list, ReadLe32(*oldTag))
                ? ReadLe32(*oldTag)
                : NewGroupTag(list);
        key.WriteDword("Tag", tag);
        order.Write(service.group, kRegBinary, GroupOrderWithTag(list, tag));
        names.insert(names.end(), {"Group", "Tag " + std::to_string(tag)});
        noted("Control\\GroupOrderList", {service.group});
      }
      noted(serviceKey, names);
    }
    const auto addReg = [&](const std::string& root, const std::vector<InfRegistryValue>& values) {
      for (const InfRegistryValue& value : values) {
        const std::string path = root + (value.subkey.empty() ? "" : "\\" + value.subkey);
        MountedKey key(*platform_.registry, base + "\\" + path);
        if (value.keyOnly || (value.noClobber && key.Read(value.name))) {
          noted(path, {});
          continue;
        }
        key.Write(value.name, value.type, value.data);
        noted(path, {value.name.empty() ? "(default)" : value.name});
      }
    };
    addReg(serviceKey, service.values);
    if (!service.eventLog.empty())
      addReg("Services\\EventLog\\" + service.eventLog + "\\" + service.eventSource,
             service.eventLogValues);
    for (const std::string& id : plan.driver.hardwareIds) {
      const std::string path = "Control\\CriticalDeviceDatabase\\" + CriticalDeviceKey(id);
      MountedKey key(*platform_.registry, base + "\\" + path);
      key.WriteString("Service", kRegSz, service.name);
      key.WriteString("ClassGUID", kRegSz, plan.driver.classGuid);
      noted(path, {"Service", "ClassGUID"});
    }
  }
}

void Form1::InstallVendorDriver() {
  if (!vendorPlan_) return;
  SetText(ControlId::Label3, "Installing the vendor's driver...");
  const std::string title(kApplicationTitle);
  try {
    WriteVendorDriverKeys();
    const VendorDriverPlan& plan = *vendorPlan_;
    const std::string drivers = Text(ControlId::Text1) + "\\system32\\drivers\\";
    if (platform_.files->FileExists(drivers + plan.fileName)) {
      record_.Add("Driver " + plan.fileName + ": already in the guest, the same file");
      return;
    }
    // The bytes checked are the bytes copied, staged under the driver's own name.
    const ScratchFolder scratch(platform_);
    const std::string staged = scratch / plan.fileName;
    platform_.files->WriteText(staged, std::string(plan.image.begin(), plan.image.end()), false);
    if (!FSO().Copy_File(staged, drivers)) {
      platform_.ui->MessageBox("Critical Error copying file.  Check paths and permissions.",
                               mb::kCritical, title);
      blnAbort = true;
      return;
    }
    record_.Add("Driver " + plan.fileName + std::string(kDriverCopiedLabel) + plan.imageSource +
                ", " + FileSummary(drivers + plan.fileName));
  } catch (const RuntimeError& error) {
    platform_.ui->MessageBox("The vendor's driver could not be installed:  " + error.Description(),
                             mb::kCritical, title);
    blnAbort = true;
  }
}

}  // namespace ravlin
