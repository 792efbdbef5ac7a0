#include "platform/win32/hardware/setupapi_storage_controllers.hpp"

#include <charconv>
#include <optional>
#include <string>
#include <vector>

#include "platform/text_bytes.hpp"
#include "platform/win32/runtime/windows_api.hpp"
#include "platform/win32/text/wide_text.hpp"

// windows_api.hpp comes first: setupapi.h needs its types.
#include <setupapi.h>

namespace ravlin {
namespace {

using GetClassDevs = HDEVINFO(WINAPI*)(const GUID*, PCWSTR, HWND, DWORD);
using EnumDeviceInfo = BOOL(WINAPI*)(HDEVINFO, DWORD, PSP_DEVINFO_DATA);
using GetDeviceRegistryProperty = BOOL(WINAPI*)(HDEVINFO, PSP_DEVINFO_DATA, DWORD, PDWORD, PBYTE,
                                                DWORD, PDWORD);
using DestroyDeviceInfoList = BOOL(WINAPI*)(HDEVINFO);

// SetupAPI from the system folder, freed when done.
class SetupApiLibrary {
 public:
  SetupApiLibrary() {
    wchar_t folder[MAX_PATH] = {};
    const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    module_ = ::LoadLibraryW((std::wstring(folder, length) + L"\\setupapi.dll").c_str());
  }
  SetupApiLibrary(const SetupApiLibrary&) = delete;
  SetupApiLibrary& operator=(const SetupApiLibrary&) = delete;
  ~SetupApiLibrary() {
    if (module_ != nullptr) ::FreeLibrary(module_);
  }

  template <typename Function>
  Function Find(const char* name) const {
    return module_ == nullptr ? nullptr
                              : reinterpret_cast<Function>(
                                    reinterpret_cast<void*>(::GetProcAddress(module_, name)));
  }

 private:
  HMODULE module_ = nullptr;
};

// The hexadecimal field after `label` in an ID ("DEV_" in "PCI\VEN_8086&DEV_2922").
std::optional<std::uint32_t> Field(std::string_view id, std::string_view label,
                                   std::size_t digits) {
  const std::string upper = UpperAscii(id);
  for (std::size_t at = upper.find(label); at != std::string::npos;
       at = upper.find(label, at + 1)) {
    if (at != 0 && upper[at - 1] != '\\' && upper[at - 1] != '&') continue;
    const std::size_t begin = at + label.size();
    if (begin + digits > upper.size()) return std::nullopt;
    std::uint32_t value = 0;
    const auto [end, error] =
        std::from_chars(upper.data() + begin, upper.data() + begin + digits, value, 16);
    if (error != std::errc() || end != upper.data() + begin + digits) return std::nullopt;
    return value;
  }
  return std::nullopt;
}

// A REG_MULTI_SZ property of the device, one text per entry.
std::vector<std::string> MultiTextProperty(GetDeviceRegistryProperty query, HDEVINFO devices,
                                           SP_DEVINFO_DATA& device, DWORD property) {
  std::vector<wchar_t> buffer(512);
  DWORD type = 0;
  DWORD needed = 0;
  while (!query(devices, &device, property, &type, reinterpret_cast<PBYTE>(buffer.data()),
                static_cast<DWORD>(buffer.size() * sizeof(wchar_t)), &needed)) {
    if (::GetLastError() != ERROR_INSUFFICIENT_BUFFER || needed / sizeof(wchar_t) < buffer.size())
      return {};
    buffer.resize(needed / sizeof(wchar_t) + 2);
  }
  buffer.push_back(L'\0');
  buffer.push_back(L'\0');
  std::vector<std::string> texts;
  for (const wchar_t* entry = buffer.data(); *entry != L'\0'; entry += std::wcslen(entry) + 1)
    texts.push_back(Narrow(entry));
  return texts;
}

}  // namespace

bool PciControllerFromHardwareIds(const std::vector<std::string>& ids, PciController& controller) {
  std::optional<std::uint32_t> vendor, device, subsystem, revision, classCode;
  for (const std::string& id : ids) {
    if (!StartsWithIgnoringAsciiCase(id, "PCI\\")) continue;
    if (!vendor) vendor = Field(id, "VEN_", 4);
    if (!device) device = Field(id, "DEV_", 4);
    if (!subsystem) subsystem = Field(id, "SUBSYS_", 8);
    if (!revision) revision = Field(id, "REV_", 2);
    if (!classCode) classCode = Field(id, "CC_", 6);
  }
  if (!vendor || !device || !classCode) return false;
  controller.vendor = static_cast<std::uint16_t>(*vendor);
  controller.device = static_cast<std::uint16_t>(*device);
  // SUBSYS_ssssnnnn: the subsystem's device, then its vendor.
  controller.subsystemDevice = static_cast<std::uint16_t>(subsystem.value_or(0) >> 16);
  controller.subsystemVendor = static_cast<std::uint16_t>(subsystem.value_or(0) & 0xFFFF);
  controller.revision = static_cast<std::uint8_t>(revision.value_or(0));
  controller.classCode = *classCode;
  return true;
}

StorageControllerList SetupApiStorageControllers::List() {
  StorageControllerList list;
  const SetupApiLibrary setupApi;
  const auto getClassDevs = setupApi.Find<GetClassDevs>("SetupDiGetClassDevsW");
  const auto enumDevice = setupApi.Find<EnumDeviceInfo>("SetupDiEnumDeviceInfo");
  const auto property =
      setupApi.Find<GetDeviceRegistryProperty>("SetupDiGetDeviceRegistryPropertyW");
  const auto destroy = setupApi.Find<DestroyDeviceInfoList>("SetupDiDestroyDeviceInfoList");
  if (!getClassDevs || !enumDevice || !property || !destroy) {
    list.unreadable = "SetupAPI could not be loaded from the system folder";
    return list;
  }
  const HDEVINFO devices = getClassDevs(nullptr, L"PCI", nullptr, DIGCF_ALLCLASSES | DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) {
    list.unreadable = "SetupDiGetClassDevs: " + std::to_string(::GetLastError());
    return list;
  }
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; enumDevice(devices, index, &device); ++index) {
    std::vector<std::string> ids = MultiTextProperty(property, devices, device, SPDRP_HARDWAREID);
    for (std::string& id : MultiTextProperty(property, devices, device, SPDRP_COMPATIBLEIDS))
      ids.push_back(std::move(id));
    PciController controller;
    if (PciControllerFromHardwareIds(ids, controller) &&
        (controller.classCode >> 16) == kPciMassStorageClass)
      list.controllers.push_back(controller);
  }
  destroy(devices);
  return list;
}

}  // namespace ravlin
