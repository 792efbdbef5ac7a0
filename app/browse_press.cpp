#include <string>

#include "app/continue_on_error.hpp"
#include "app/form1.hpp"
#include "app/scratch_folder.hpp"

namespace ravlin {
namespace {

constexpr std::string_view kRegistryEditorTitle = "Registry Editor";
// The editor's window class, the same in every language of Windows.
constexpr std::string_view kRegistryEditorClass = "RegEdit_RegEdit";
constexpr std::string_view kDialogPrompt = "Choose a Windows Directory";

const std::string kOwnWindowsDirectoryMessage =
    "The path you have chosen is the current Windows path.\r\n"
    "\r\n"
    "If you are using Ravlin to fix a system where Windows\r\n"
    "is already loading, then you've missed the entire purpose!\r\n"
    "Please select a new Windows path or simply give it up!";

const std::string kRepairRunningMessage =
    "Another repair is running with the same registry.\r\n"
    "Nothing was changed. Wait until it has ended, then try again.";

// Marks a press as running for as long as it lives, so that a second press or a close
// request arriving through the message pump is refused.
class PressGuard {
 public:
  explicit PressGuard(bool& busy) : busy_(busy) { busy_ = true; }
  PressGuard(const PressGuard&) = delete;
  PressGuard& operator=(const PressGuard&) = delete;
  ~PressGuard() { busy_ = false; }

 private:
  bool& busy_;
};

}  // namespace

void Form1::CloseRegistryEditor() {
  // None of the results is tested: without such a window every call simply fails.
  std::uint32_t processId = 0;
  Handle window = platform_.windows->FindWindowA("", std::string(kRegistryEditorTitle));
  if (window == 0) window = platform_.windows->FindWindowA(std::string(kRegistryEditorClass), "");
  platform_.windows->GetWindowThreadProcessId(window, processId);
  const Handle process = platform_.processes->OpenProcess(kProcessAllAccess, false, processId);
  platform_.processes->TerminateProcess(process, 0);
  if (process != 0) platform_.processes->CloseHandle(process);
}

void Form1::ReturnToIdle() {
  SetText(ControlId::Text1, std::string(kPromptText));
  SetText(ControlId::Label3, "Idle");
}

void Form1::Browse_Click() {
  if (busy_ || !loaded_) return;
  PressGuard guard(busy_);
  const std::string title(kApplicationTitle);
  // Held to the end of the attempt: another repair would unmount the hive under this one,
  // and its editor would count as ours.
  const auto claim = platform_.registry->ClaimForRepair();
  if (!claim) {
    ContinueOnError(
        [&] { platform_.ui->MessageBox(kRepairRunningMessage, mb::kExclamation, title); });
    ReturnToIdle();
    return;
  }
  std::string chosen;
  bool accepted = false;

  blnAbort = false;
  SetText(ControlId::Label3, "Closing regedit.exe");
  ContinueOnError([this] { CloseRegistryEditor(); });
  SetText(ControlId::Label3, "Choosing a Windows Directory...");
  ContinueOnError([&] { chosen = FSO().BrowseForFolder(0, std::string(kDialogPrompt)); });

  if (!chosen.empty()) {
    if (platform_.environment->IsRunningSystemsWindowsFolder(chosen)) {
      ContinueOnError(
          [&] { platform_.ui->MessageBox(kOwnWindowsDirectoryMessage, mb::kInformation, title); });
    } else {
      bool hiveFound = false;
      ContinueOnError([&] { hiveFound = FSO().File_Exist(chosen + std::string(kHiveFragment)); });
      if (!hiveFound) {
        ContinueOnError([&] {
          platform_.ui->MessageBox(
              "Cannot find SYSTEM hive:\r\n" + chosen + std::string(kHiveFragment), mb::kOkOnly,
              title);
        });
      } else {
        accepted = true;
      }
    }
  }

  if (accepted) {
    SetText(ControlId::Text1, chosen);
    platform_.files->ConfineChangesBeneath(chosen);
    if (dryRun_) {
      dryRunCompletes_ = false;
      ContinueOnError([this] { CheckGuestWindows(); });
      if (!blnAbort) ContinueOnError([this] { PrepareVendorDriver(); });
      if (!blnAbort) ContinueOnError([this] { dryRunCompletes_ = DryRun(); });
      accepted = false;
    }
  }
  if (accepted) {
    ContinueOnError([this] { RemoveLeftScratchFolders(platform_); });
    copiedDrivers_.clear();
    createdDriverFolder_.clear();
    BeginRecord();
    ContinueOnError([this] { CheckGuestWindows(); });
    if (!blnAbort) ContinueOnError([this] { PrepareVendorDriver(); });
    if (!blnAbort) ContinueOnError([this] { LoadGuestHive(); });
    if (!blnAbort) {
      ContinueOnError([this] { InstallFixes(); });
      if (!blnAbort) ContinueOnError([this] { InstallVendorDriver(); });
      if (!blnAbort) {
        // The repair reaches the guest's hive file only when the unmount writes it back:
        // after a failed unmount nothing may report success.
        bool unloaded = false;
        ContinueOnError([&] { unloaded = UnloadGuestHive(GuestHiveFile()); });
        if (unloaded) {
          ReportBoard();
          EndRecord("completed");
          SetText(ControlId::Label3, "Idle");
          ContinueOnError([&] {
            platform_.ui->MessageBox("Operation completed successfully!  Click OK to exit.",
                                     mb::kInformation, title);
          });
          AdviseOnBoard();
          busy_ = false;
          Unload();
          return;
        }
      }
    }
    EndStoppedAttempt();
  }
  ReturnToIdle();
}

}  // namespace ravlin
