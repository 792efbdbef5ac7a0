#include <array>
#include <charconv>
#include <optional>
#include <string>
#include <string_view>

#include "app/form1.hpp"
#include "app/reg_file_check.hpp"
#include "platform/runtime_error.hpp"
#include "system/ShellModule.hpp"
#include "system/modRegistry.hpp"

namespace ravlin {
namespace {

constexpr std::int16_t kControlSetCount = 9;
constexpr std::string_view kControlSetKeyPrefix = "Ravlin_System\\ControlSet00";
// A key that every registry file writes into its control set; it is read back after each
// import, since the system's editor ends with exit code 0 even when it imported nothing.
constexpr std::string_view kReadBackKey = "\\Control\\CriticalDeviceDatabase\\pci#cc_0101";
constexpr std::string_view kRequiredFilesFragment = "\\Ravlin_Required_Files\\";
constexpr std::string_view kRegistryFilePrefix = "tarvel00";
constexpr std::string_view kDriverFolderFragment = "\\system32\\drivers";
constexpr std::int32_t kImportTimeoutMs = 2000000000;
constexpr int kNormalFocusWindow = 1;
constexpr std::array<std::string_view, 4> kDriverFiles = {"atapi.sys", "intelide.sys", "pciide.sys",
                                                          "pciidex.sys"};

// "Ravlin_System\ControlSet00N", the mounted guest's control set N.
std::string ControlSetKey(std::int16_t N) {
  return std::string(kControlSetKeyPrefix) + std::to_string(N);
}

// The registry status that an editor's reason ends with, as in "... (status 112)".
std::optional<std::int32_t> TrailingStatus(std::string_view reason) {
  constexpr std::string_view kOpening = "(status ";
  const auto at = reason.rfind(kOpening);
  if (at == std::string_view::npos || !reason.ends_with(')')) return std::nullopt;
  const auto digits = reason.substr(at + kOpening.size(), reason.size() - 1 - at - kOpening.size());
  std::int32_t status = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), status);
  if (error != std::errc() || end != digits.data() + digits.size()) return std::nullopt;
  return status;
}

// A file of the required-files folder beside the program.
std::string RequiredFilePath(Environment& environment, std::string_view fileName) {
  return environment.ProgramFolder() + std::string(kRequiredFilesFragment) + std::string(fileName);
}

}  // namespace

void Form1::InstallFixes() {
  SetText(ControlId::Label3, "Importing Registry Files...");
  // Every probe appends its key's subkey names here; only the status of each probe matters.
  std::string subKeyList;
  // A failed import stops the attempt: nothing after it is imported or copied.
  for (std::int16_t N = 1; N <= kControlSetCount && !blnAbort; ++N) {
    if (modRegistry::RegEnumSubKeys(platform_, "HKLM", ControlSetKey(N), subKeyList) == 0)
      ImportRegFile(N);
  }
  if (blnAbort) return;

  SetText(ControlId::Label3, "Installing Driver Files...");
  const std::string title(kApplicationTitle);
  // Every path is built from Text1 as it reads at that moment.
  const auto guestDriverFolder = [this] {
    return Text(ControlId::Text1) + std::string(kDriverFolderFragment);
  };
  if (!FSO().Folder_Exist(guestDriverFolder())) {
    if (!FSO().Create_Dir_Struct(guestDriverFolder())) {
      platform_.ui->MessageBox("Could not create:  " + guestDriverFolder(), mb::kCritical, title);
      blnAbort = true;
      return;
    }
    createdDriverFolder_ = guestDriverFolder();
  }
  for (const std::string_view driverFile : kDriverFiles) {
    if (FSO().File_Exist(guestDriverFolder() + "\\" + std::string(driverFile))) continue;
    if (!CopyDriverFile(driverFile, guestDriverFolder() + "\\")) {
      platform_.ui->MessageBox("Critical Error copying file.  Check paths and permissions.",
                               mb::kCritical, title);
      blnAbort = true;
    }
  }
}

void Form1::ImportRegFile(const std::int16_t& N) {
  const std::string registryFile = RequiredFilePath(
      *platform_.environment, std::string(kRegistryFilePrefix) + std::to_string(N) + ".reg");
  const std::string commandLine = "regedit.exe /s \"" + registryFile + "\"";

  // An import that never ran, or that the editor reports as failed, leaves the guest
  // unrepaired: it stops the attempt instead of ending in the success message.
  std::string editorReason;
  const std::string failure = [&]() -> std::string {
    std::string refusal;
    try {
      if (!platform_.files->FileExists(registryFile)) return "The registry file is missing.";
      // The editor applies whatever the file says, wherever it points: a key outside this
      // control set would change the guest's other settings or the running system.
      refusal = RegFileRefusal(platform_.files->ReadAllText(registryFile), ControlSetKey(N));
    } catch (const RuntimeError& error) {
      return error.Description();
    }
    if (!refusal.empty()) return refusal;
    std::string message;
    std::uint32_t exitCode = 0;
    if (!ShellAndWait(platform_, commandLine, kNormalFocusWindow, message, kImportTimeoutMs,
                      &exitCode, &editorReason))
      return message;
    if (exitCode != 0)
      return "The registry editor ended with exit code " + std::to_string(exitCode) +
             (editorReason.empty() ? "." : ":  " + editorReason);
    const std::string readBackKey = ControlSetKey(N) + std::string(kReadBackKey);
    std::string subKeys;
    if (modRegistry::RegEnumSubKeys(platform_, "HKLM", readBackKey, subKeys) != 0)
      return "The registry editor ended without an error, but the key HKEY_LOCAL_MACHINE\\" +
             readBackKey + " that the file writes is not there.";
    return {};
  }();
  NoteImport(N, registryFile, failure);
  if (failure.empty()) return;
  platform_.ui->MessageBox(
      "Could not import the registry file:  " + registryFile + "\r\n" + failure, mb::kCritical,
      std::string(kApplicationTitle));
  if (const auto status = TrailingStatus(editorReason)) ExplainStatus(*status);
  blnAbort = true;
}

}  // namespace ravlin
