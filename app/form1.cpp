#include "app/form1.hpp"

#include <algorithm>
#include <utility>

#include "app/continue_on_error.hpp"
#include "app/status_explanation.hpp"

namespace ravlin {
namespace {

std::size_t IndexOf(ControlId id) {
  const auto found = std::find_if(kControlDesigns.begin(), kControlDesigns.end(),
                                  [id](const ControlDesign& design) { return design.id == id; });
  return static_cast<std::size_t>(found - kControlDesigns.begin());
}

std::string WindowCaption() {
  return std::string(kApplicationTitle) + "  v" + std::to_string(kVersionMajor) + "." +
         std::to_string(kVersionMinor) + " for Windows XP  -  " + std::string(kMakerWebAddress);
}

}  // namespace

const ControlDesign& DesignOf(ControlId id) {
  return kControlDesigns[IndexOf(id)];
}

Form1::Form1(Platform platform, FormView& view)
    : platform_(std::move(platform)), view_(view), privileges_(platform_, kApplicationTitle) {
  platform_.ui = std::make_shared<RecordingUi>(platform_.ui, record_);
  for (const auto& design : kControlDesigns) texts_[IndexOf(design.id)] = design.designText;
}

Form1::~Form1() = default;

const std::string& Form1::Text(ControlId control) const {
  return texts_[IndexOf(control)];
}

void Form1::SetText(ControlId control, std::string text) {
  texts_[IndexOf(control)] = std::move(text);
  view_.TextChanged(control, texts_[IndexOf(control)]);
}

clsFSO& Form1::FSO() {
  if (!cFSO) cFSO = std::make_unique<clsFSO>(platform_);
  return *cFSO;
}

// Each import's command line holds the registry file's path between quotation marks, so a
// quotation mark in the program folder's path would cut every one of them short.
bool Form1::ProgramFolderUsable() {
  // A platform without an environment service (a test's) names no program folder to check.
  if (!platform_.environment) return true;
  const std::string folder = platform_.environment->ProgramFolder();
  if (folder.find('"') == std::string::npos) return true;
  platform_.ui->MessageBox(
      "Ravlin cannot work from its folder:  " + folder +
          "\r\nThe path holds a double quotation mark (\"), which the registry "
          "editor's command line cannot carry.  Move Ravlin to a folder whose "
          "path has none, then start it again.",
      mb::kCritical, std::string(kApplicationTitle));
  return false;
}

void Form1::ExplainStatus(std::int32_t status) {
  if (!platform_.environment) return;
  const std::string explanation = StatusExplanation(*platform_.environment, status);
  if (!explanation.empty()) view_.StatusExplained(explanation);
}

void Form1::Load() {
  if (!ProgramFolderUsable()) {
    refusedAtStart_ = true;
    view_.Unloaded();
    return;
  }
  loaded_ = true;
  view_.Shown();
  caption_ = WindowCaption();
  view_.CaptionChanged(caption_);
  SetText(ControlId::Text1, std::string(kPromptText));
  privileges_.EnablePrivileges();
}

bool Form1::RequestClose() {
  if (busy_) return false;
  if (loaded_) Unload();
  return true;
}

void Form1::Unload() {
  // An attempt whose mount could not be ended when it stopped: nothing of it may reach the
  // guest, so the mount is discarded here.
  if (hiveMountedByThisRun_) {
    ContinueOnError([this] { DiscardGuestHive(mountedHiveFile_); });
    RecordUnmountAtExit();
  }
  privileges_.DisablePrivileges();
  cFSO.reset();
  loaded_ = false;
  view_.Unloaded();
}

}  // namespace ravlin
