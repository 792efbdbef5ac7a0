#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/form_design.hpp"
#include "app/repair_constants.hpp"
#include "app/repair_record.hpp"
#include "app/vendor_driver.hpp"
#include "fso/clsFSO.hpp"
#include "platform/platform.hpp"
#include "system/modLoadReg.hpp"

namespace ravlin {

// How a front end shows the window: it is told when the window becomes visible, when a
// text changes (so that it can repaint at once) and when the window has unloaded.
class FormView {
 public:
  virtual ~FormView() = default;

  virtual void Shown() = 0;
  virtual void CaptionChanged(const std::string& caption) = 0;
  virtual void TextChanged(ControlId control, const std::string& text) = 0;
  virtual void Unloaded() = 0;
  // After a box that names a status number: one plain line saying what the number means and
  // what to do; also the line saying how a dirty guest hive was recovered from its logs. The box
  // keeps its exact text; a front end that has no room for more shows nothing.
  virtual void StatusExplained(const std::string&) {}
  // After an attempt that stopped, once everything it had changed in the guest was taken
  // back; the boxes already told why it stopped.
  virtual void GuestLeftUnchanged() {}
  // After a repair: one line per storage controller of this computer, saying whether the
  // repaired guest can start from it. A front end that prints them returns true from
  // ShowsControllerLines; the windows show an information box instead when a controller has
  // no boot driver.
  virtual void ControllersJudged(const std::vector<std::string>&) {}
  virtual bool ShowsControllerLines() const { return false; }
};

// The program's only window: its state, its loading and unloading, and the repair workflow
// that the Browse button drives. Front ends render it and forward the button press and the
// close request; they hold no logic of their own.
class Form1 {
 public:
  Form1(Platform platform, FormView& view);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;
  ~Form1();

  // Start-up: visible at once, caption, prompt, privileges. A program folder that no import
  // could work from is refused first, with a box: the window then unloads at once, without
  // having changed anything, and RefusedAtStart() tells so.
  void Load();
  // A press of Browse; refused while a press is already running.
  void Browse_Click();
  // The user closes the window: refused (false) while a press runs, otherwise it unloads.
  bool RequestClose();

  bool Busy() const { return busy_; }
  bool Loaded() const { return loaded_; }
  bool RefusedAtStart() const { return refusedAtStart_; }
  const std::string& Caption() const { return caption_; }
  const std::string& Text(ControlId control) const;
  // The toolkit object, or null before its first use.
  const clsFSO* FsoObject() const { return cFSO.get(); }
  // What the last attempt did, line by line.
  const RepairRecord& Record() const { return record_; }
  // Dry run: an attempt shows what a repair would change, on a scratch copy of the hive.
  void SetDryRun(bool dryRun);
  bool DryRunSet() const { return dryRun_; }
  // Whether the last dry run found that a repair would complete (every import as the file
  // writes it, every missing driver found); false when no dry run ran.
  bool LastDryRunCompletes() const { return dryRunCompletes_; }
  // Continue without asking when the guest is a Windows the repair does not fit.
  void SetForce(bool force) { force_ = force; }
  // An installation source (a Windows CD's I386 folder) searched last for missing drivers.
  void SetInstallationSource(const std::filesystem::path& folder);
  // A vendor's mass-storage driver (its INF, txtsetup.oem and .sys) installed after the IDE
  // repair in the same attempt.
  void SetDriverFolder(const std::filesystem::path& folder);
  // That folder in drive-letter form; empty when none was given.
  const std::string& DriverFolder() const { return vendorDriverFolder_; }

 private:
  void Unload();
  void SetText(ControlId control, std::string text);
  clsFSO& FSO();
  bool ProgramFolderUsable();
  void ExplainStatus(std::int32_t status);

  // browse_press.cpp
  void CloseRegistryEditor();
  void ReturnToIdle();
  // guest_hive.cpp
  // Stops the attempt (false) when something other than a regular file holds the backup's
  // name: the repair would trust it as the untouched hive.
  bool HiveBackupUsable();
  void LoadGuestHive();
  // Unmounts the hive, naming `hiveFile` in its failure message; true when the hive was
  // unmounted (and so written back into the guest).
  bool UnloadGuestHive(const std::string& hiveFile);
  // Ends the mount without writing anything of it into the guest; true when it ended (or
  // there was none). A failure is told as an unmount's is, naming `hiveFile`.
  bool DiscardGuestHive(const std::string& hiveFile);
  // After an unmount or a discard: forgets this run's mount when it `ended`, and tells a
  // failed `status` in the unmount's box, naming `hiveFile`.
  void EndedMount(bool ended, std::int32_t status, const std::string& hiveFile);
  // hive_recovery_note.cpp: what the mount did with a hive Windows had not closed cleanly.
  void NoteHiveRecovery();
  // install_fixes.cpp
  void InstallFixes();
  void ImportRegFile(const std::int16_t& N);
  std::string GuestHiveFile() const;
  // driver_sources.cpp: copies one missing driver into `targetFolder` from the first source
  // that has it; false, after the copy routine's own message, when that fails.
  bool CopyDriverFile(std::string_view driverFile, const std::string& targetFolder);
  // attempt_undo.cpp: after an attempt that stopped, takes back what it changed in the guest
  // and ends its record.
  void EndStoppedAttempt();
  // True when the guest is as it was before the attempt.
  bool UndoAttempt();
  // attempt_record.cpp: the record of one attempt, appended to the guest's ravlin.log as the
  // attempt goes.
  void BeginRecord();
  void NoteImport(std::int16_t N, const std::string& registryFile, const std::string& failure);
  // "aborted during "<stage>": <the last box>", for the record's last line.
  std::string AbortedAt();
  // Ends the block with the hive's state and "End: <outcome>".
  void EndRecord(const std::string& outcome);
  void RecordUnmountAtExit();
  // Appends the lines not yet in the file; false, after one box, when the record cannot be
  // written.
  bool SaveRecord();
  // guest_windows.cpp: warns before repairing a Windows the repair does not fit.
  void CheckGuestWindows();
  // board_report.cpp: the storage controllers of this computer judged against the guest's
  // hive file; the drivers in `arrivingDrivers` count as present in system32\DRIVERS.
  std::vector<std::string> JudgeBoard(const std::string& hiveFile,
                                      std::span<const std::string_view> arrivingDrivers);
  void ReportBoard();
  void AdviseOnBoard();
  // vendor_driver_install.cpp: the driver read and checked before anything changes, then
  // its keys written into every control set of the mounted hive and its file copied.
  void PrepareVendorDriver();
  void WriteVendorDriverKeys();
  void InstallVendorDriver();
  // dry_run.cpp
  // True when a repair would complete.
  bool DryRun();
  // "<size> bytes, SHA-256 <digest>", or why there is none.
  std::string FileSummary(const std::string& path);
  // The same for the backup, which is most often the untouched hive itself, kept by a link:
  // then the summary of the hive before is its own, without reading it again.
  std::string BackupSummary(const std::string& path);

  Platform platform_;
  FormView& view_;
  modLoadReg privileges_;
  std::unique_ptr<clsFSO> cFSO;
  bool blnAbort = false;
  bool busy_ = false;
  bool loaded_ = false;
  bool refusedAtStart_ = false;
  // Set while a hive that this run mounted is still mounted, so that unloading the window
  // can unmount it.
  bool hiveMountedByThisRun_ = false;
  // The hive file of that mount, for the message of an unmount at unloading, when Text1
  // shows the prompt again.
  std::string mountedHiveFile_;
  std::string installationSource_;
  std::string vendorDriverFolder_;
  std::optional<VendorDriverPlan> vendorPlan_;
  bool dryRun_ = false;
  bool dryRunCompletes_ = false;
  bool force_ = false;
  RepairRecord record_;
  // How many of the record's lines are in the file; whether writing it failed.
  std::size_t recordSaved_ = 0;
  bool recordBroken_ = false;
  // What this attempt added to the guest's driver folder, to take back if it stops.
  std::vector<std::string> copiedDrivers_;
  std::string createdDriverFolder_;
  // The guest of the attempt being recorded (Text1 may show a prompt by its end).
  std::string recordGuest_;
  // The hive as the attempt found it, and its summary.
  std::optional<FileDetails> hiveBefore_;
  std::string hiveBeforeSummary_;
  // The stage named when an attempt stops before its first status (else Label3's text).
  std::string abortStage_;
  // The lines of the controllers the last judgement found without a boot driver.
  std::vector<std::string> undrivenControllers_;
  std::string caption_{kDesignCaption};
  std::array<std::string, kControlDesigns.size()> texts_;
};

inline constexpr std::string_view kPromptText = "<Select a valid Windows directory>";

}  // namespace ravlin
