#include <charconv>
#include <optional>
#include <string>
#include <string_view>

#include "app/form1.hpp"
#include "app/import_check.hpp"
#include "app/reg_file_check.hpp"
#include "platform/runtime_error.hpp"
#include "system/ShellModule.hpp"
#include "system/modRegistry.hpp"

namespace ravlin {
namespace {

constexpr std::int32_t kImportTimeoutMs = 2000000000;
constexpr int kNormalFocusWindow = 1;

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

}  // namespace

void Form1::InstallFixes() {
  SetText(ControlId::Label3, "Importing Registry Files...");
  // Every probe appends its key's subkey names here; only the status of each probe matters.
  std::string subKeyList;
  // A failed import stops the attempt: nothing after it is imported or copied.
  for (std::int16_t N = 1; N <= kControlSetCount && !blnAbort; ++N) {
    if (modRegistry::RegEnumSubKeys(platform_, "HKLM", MountedControlSetKey(N), subKeyList) == 0)
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
  for (const std::string_view driverFile : kIdeDriverFiles) {
    if (FSO().File_Exist(guestDriverFolder() + "\\" + std::string(driverFile))) continue;
    if (!CopyDriverFile(driverFile, guestDriverFolder() + "\\")) {
      platform_.ui->MessageBox("Critical Error copying file.  Check paths and permissions.",
                               mb::kCritical, title);
      blnAbort = true;
    }
  }
}

void Form1::ImportRegFile(const std::int16_t& N) {
  const std::string registryFile =
      RequiredFilePath(platform_.environment->ProgramFolder(), RegistryFileName(N));
  const std::string commandLine = "regedit.exe /s \"" + registryFile + "\"";

  // An import that never ran, or that the editor reports as failed, leaves the guest
  // unrepaired: it stops the attempt instead of ending in the success message.
  std::string editorReason;
  const std::string failure = [&]() -> std::string {
    CheckedRegFile file;
    try {
      if (!platform_.files->FileExists(registryFile)) return "The registry file is missing.";
      // The editor applies whatever the file says, wherever it points: a key outside this
      // control set would change the guest's other settings or the running system.
      file = CheckRegFile(platform_.files->ReadAllText(registryFile), MountedControlSetKey(N));
    } catch (const RuntimeError& error) {
      return error.Description();
    }
    if (!file.refusal.empty()) return file.refusal;
    std::string message;
    std::uint32_t exitCode = 0;
    if (!ShellAndWait(platform_, commandLine, kNormalFocusWindow, message, kImportTimeoutMs,
                      &exitCode, &editorReason))
      return message;
    if (exitCode != 0)
      return "The registry editor ended with exit code " + std::to_string(exitCode) +
             (editorReason.empty() ? "." : ":  " + editorReason);
    const std::string difference = FirstImportDifference(*platform_.registry, file.operations);
    if (!difference.empty()) return "The registry editor ended without an error, but " + difference;
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
