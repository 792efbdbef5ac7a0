#include "app/inf_driver.hpp"

#include <algorithm>
#include <set>

#include "platform/codepage.hpp"
#include "platform/registry.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

constexpr std::uint32_t kKernelDriver = 1;
constexpr std::uint32_t kBootStart = 0;
// AddReg flags.
constexpr std::uint32_t kBinaryValueType = 0x00000001;
constexpr std::uint32_t kNoClobber = 0x00000002;
constexpr std::uint32_t kDeleteValue = 0x00000004;
constexpr std::uint32_t kKeyOnly = 0x00000010;
constexpr std::uint32_t kMultiSz = 0x00010000;
constexpr std::uint32_t kExpandSz = 0x00020000;
constexpr std::uint32_t kDword = 0x00010001;
constexpr std::uint32_t kTypeMask = 0xFFFF0001;

std::string_view Decoration(GuestArchitecture architecture) {
  return architecture == GuestArchitecture::kX86 ? "NTx86" : "NTamd64";
}

// A models decoration XP or Server 2003 of that architecture reads: "NTx86", "NTx86.5.1".
bool DecorationFits(std::string_view decoration, GuestArchitecture architecture) {
  const std::string_view platform = Decoration(architecture);
  if (!StartsWithIgnoringAsciiCase(decoration, platform)) return false;
  const std::string_view rest = decoration.substr(platform.size());
  if (rest.empty()) return true;
  if (rest.front() != '.') return false;
  const auto major = InfNumber(rest.substr(1, rest.find('.', 1) - 1));
  return major && *major <= 5;
}

// The install section Windows would use: the most specific of <name>.NTx86 (or .NTamd64),
// <name>.NT and <name> that the INF has.
std::string InstallSection(const InfFile& inf, const std::string& name,
                           GuestArchitecture architecture) {
  for (const std::string& candidate :
       {name + "." + std::string(Decoration(architecture)), name + ".NT", name})
    if (inf.HasSection(candidate) || inf.HasSection(candidate + ".Services")) return candidate;
  throw InfError("the install section [" + name + "] is missing");
}

std::vector<std::uint8_t> StringData(std::string_view text) {
  std::vector<std::uint8_t> data = Utf16ToLe(AnsiToUtf16(text));
  data.push_back(0);
  data.push_back(0);
  return data;
}

InfRegistryValue AddRegValue(const InfLine& line) {
  const auto field = [&](std::size_t i) {
    return i < line.fields.size() ? line.fields[i] : std::string();
  };
  const std::string where = "AddReg line " + std::to_string(line.lineNumber);
  if (line.key || !EqualsIgnoringAsciiCase(field(0), "HKR"))
    throw InfError(where + " writes outside the service's own key");
  InfRegistryValue value;
  value.subkey = field(1);
  value.name = field(2);
  const auto flags = field(3).empty() ? std::optional<std::uint32_t>(0) : InfNumber(field(3));
  if (!flags) throw InfError(where + " has flags that are no number");
  if (*flags & kDeleteValue) throw InfError(where + " deletes a value");
  value.noClobber = (*flags & kNoClobber) != 0;
  value.keyOnly = (*flags & kKeyOnly) != 0 || line.fields.size() <= 2;
  const std::uint32_t type = *flags & kTypeMask;
  if (type == kDword) {
    const auto number = field(4).empty() ? std::optional<std::uint32_t>(0) : InfNumber(field(4));
    if (!number) throw InfError(where + " has a DWORD that is no number");
    value.type = kRegDword;
    const auto bytes = Le32Bytes(*number);
    value.data.assign(bytes.begin(), bytes.end());
  } else if (type & kBinaryValueType) {
    value.type = type == kBinaryValueType ? kRegBinary : type >> 16;
    for (std::size_t i = 4; i < line.fields.size(); ++i) {
      const auto byte = InfNumber("0x" + line.fields[i]);
      if (!byte || *byte > 0xFF) throw InfError(where + " has a byte that is no hex byte");
      value.data.push_back(static_cast<std::uint8_t>(*byte));
    }
  } else if (type == kMultiSz) {
    value.type = kRegMultiSz;
    for (std::size_t i = 4; i < line.fields.size(); ++i) {
      const auto text = StringData(line.fields[i]);
      value.data.insert(value.data.end(), text.begin(), text.end());
    }
    value.data.push_back(0);
    value.data.push_back(0);
  } else if (type == kExpandSz || type == 0) {
    value.type = type == 0 ? kRegSz : kRegExpandSz;
    value.data = StringData(field(4));
  } else {
    throw InfError(where + " has a value type Ravlin does not write");
  }
  return value;
}

std::vector<InfRegistryValue> AddRegSections(const InfFile& inf, std::string_view section) {
  std::vector<InfRegistryValue> values;
  for (const InfLine* addReg : inf.Lines(section, "AddReg"))
    for (const std::string& name : addReg->fields) {
      if (!inf.HasSection(name)) throw InfError("the AddReg section [" + name + "] is missing");
      for (const InfLine& line : inf.Section(name)) values.push_back(AddRegValue(line));
    }
  return values;
}

// "%12%\x.sys" relative to the Windows folder.
std::string ImagePath(const std::string& binary) {
  const auto separator = binary.find('\\');
  const std::string file = separator == std::string::npos ? "" : binary.substr(separator + 1);
  if (file.empty() || file.find_first_of("\\/:") != std::string::npos || file == "." ||
      file == "..")
    throw InfError("the ServiceBinary " + binary + " names no file in a system folder");
  const std::string dirid = binary.substr(0, separator);
  if (dirid == "%12%") return "system32\\DRIVERS\\" + file;
  if (dirid == "%11%") return "system32\\" + file;
  if (dirid == "%10%") return file;
  throw InfError("the ServiceBinary " + binary + " is not below the Windows folder (10, 11, 12)");
}

// Where the file lies below the INF's folder: its disk's path from the source-disk sections.
std::string SourcePath(const InfFile& inf, const std::string& file,
                       GuestArchitecture architecture) {
  const std::string suffix =
      "." + std::string(architecture == GuestArchitecture::kX86 ? "x86" : "amd64");
  for (const std::string& files : {"SourceDisksFiles" + suffix, std::string("SourceDisksFiles")}) {
    const auto entry = inf.Values(files, file);
    if (!entry || entry->empty()) continue;
    const std::string disk = entry->front();
    // The disk's own folder, then the file's folder below it.
    std::string folder;
    for (const std::string& names : {"SourceDisksNames" + suffix, std::string("SourceDisksNames")})
      if (const auto diskEntry = inf.Values(names, disk); diskEntry && folder.empty())
        folder = diskEntry->size() > 3 ? (*diskEntry)[3] : "";
    if (entry->size() > 1) folder += "\\" + (*entry)[1];
    const auto below = FolderBelow(folder);
    if (!below)
      throw InfError("the source folder of " + file + " leads out of the driver's folder");
    return below->empty() ? file : *below + "\\" + file;
  }
  return file;
}

InfService ReadService(const InfFile& inf, const InfLine& addService,
                       GuestArchitecture architecture) {
  const auto field = [&](std::size_t i) {
    return i < addService.fields.size() ? addService.fields[i] : std::string();
  };
  InfService service;
  service.name = field(0);
  const std::string section = field(2);
  if (service.name.empty() || !inf.HasSection(section))
    throw InfError("the service-install section [" + section + "] of " + service.name +
                   " is missing");
  const auto number = [&](std::string_view key) {
    const auto value = InfNumber(inf.Value(section, key));
    if (!value) throw InfError("[" + section + "] has no " + std::string(key) + " number");
    return *value;
  };
  service.type = number("ServiceType");
  service.start = number("StartType");
  service.errorControl = number("ErrorControl");
  service.group = inf.Value(section, "LoadOrderGroup");
  service.displayName = inf.Value(section, "DisplayName");
  const std::string binary = inf.Value(section, "ServiceBinary");
  service.imagePath = ImagePath(binary);
  service.sourcePath =
      SourcePath(inf, service.imagePath.substr(service.imagePath.rfind('\\') + 1), architecture);
  service.values = AddRegSections(inf, section);
  if (const std::string eventSection = field(3); !eventSection.empty()) {
    service.eventLog = field(4).empty() ? "System" : field(4);
    service.eventSource = field(5).empty() ? service.name : field(5);
    for (const std::string& part : {service.eventLog, service.eventSource})
      if (part.find('\\') != std::string::npos)
        throw InfError("the event log " + part + " is no single key name");
    service.eventLogValues = AddRegSections(inf, eventSection);
  }
  return service;
}

}  // namespace

InfDriver ReadInfDriver(const InfFile& inf, GuestArchitecture architecture) {
  const std::string signature = inf.Value("Version", "Signature");
  if (!EqualsIgnoringAsciiCase(signature, "$Windows NT$") &&
      !EqualsIgnoringAsciiCase(signature, "$Chicago$"))
    throw InfError("it is no driver INF ([Version] has no Signature $Windows NT$)");
  InfDriver driver;
  driver.classGuid = inf.Value("Version", "ClassGUID");

  // Install section (as the INF names it) -> the IDs of its models.
  std::vector<std::pair<std::string, std::vector<std::string>>> installs;
  for (const InfLine& manufacturer : inf.Section("Manufacturer")) {
    if (manufacturer.fields.empty()) continue;
    std::string models = manufacturer.fields[0];
    const auto decorated =
        std::find_if(manufacturer.fields.begin() + 1, manufacturer.fields.end(),
                     [&](const std::string& d) { return DecorationFits(d, architecture); });
    if (decorated != manufacturer.fields.end())
      models += "." + *decorated;
    else if (architecture != GuestArchitecture::kX86)
      continue;
    for (const InfLine& model : inf.Section(models)) {
      if (model.fields.empty() || model.fields[0].empty()) continue;
      std::vector<std::string> ids(model.fields.begin() + 1, model.fields.end());
      std::erase(ids, std::string());
      installs.emplace_back(model.fields[0], std::move(ids));
    }
  }
  if (installs.empty())
    throw InfError(std::string("it has no models for ") +
                   (architecture == GuestArchitecture::kX86 ? "32-bit" : "64-bit") + " Windows XP");

  std::set<std::string> serviceNames;
  const InfLine* addService = nullptr;
  for (const auto& [name, ids] : installs) {
    const std::string section = InstallSection(inf, name, architecture);
    for (const std::string_view key : {"Include", "Needs"})
      if (const auto named = inf.Values(section, key))
        throw InfError("[" + section + "] needs sections of other INF files (" + std::string(key) +
                       " = " + (named->empty() ? "" : named->front()) + ")");
    if (inf.HasSection(section + ".CoInstallers"))
      throw InfError("[" + section + "] installs co-installers, which run only on Windows itself");
    for (const InfLine* line : inf.Lines(section + ".Services", "AddService")) {
      if (line->fields.empty()) continue;
      serviceNames.insert(LowerAscii(line->fields[0]));
      addService = line;
    }
    for (const std::string& id : ids)
      if (std::find_if(driver.hardwareIds.begin(), driver.hardwareIds.end(),
                       [&](const std::string& known) {
                         return EqualsIgnoringAsciiCase(known, id);
                       }) == driver.hardwareIds.end())
        driver.hardwareIds.push_back(id);
  }
  if (serviceNames.empty() || addService == nullptr)
    throw InfError("it installs no service that could start the controller at boot");
  if (serviceNames.size() > 1)
    throw InfError("it installs more than one service, which Ravlin does not install offline");
  driver.service = ReadService(inf, *addService, architecture);
  if (driver.service.type != kKernelDriver || driver.service.start != kBootStart)
    throw InfError("its service " + driver.service.name +
                   " is no kernel driver that starts at boot (ServiceType 1, StartType 0)");
  return driver;
}

}  // namespace ravlin
