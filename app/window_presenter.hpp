#pragma once

#include <array>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/form1.hpp"
#include "app/form_design.hpp"
#include "app/image_repair.hpp"
#include "app/repair_options.hpp"
#include "platform/disk_images.hpp"

namespace ravlin {

// A rectangle in pixels, right and bottom exclusive.
struct PixelRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;

  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
};

// A design rectangle in twips as pixels at `dpi` (15 twips a pixel at 96 dpi). Edges are
// rounded, not sizes, so that neighbouring controls keep their spacing at any dpi.
PixelRect TwipsToPixels(int left, int top, int width, int height, double dpi);
PixelRect DesignRect(const ControlDesign& design, double dpi);
// The window's client area.
PixelRect ClientRect(double dpi);
// The controls by tab index, the one that has the focus when the window opens first.
std::array<ControlDesign, kControlDesigns.size()> ControlsInTabOrder();

// The items of the windows' context menu, so that the designed layout stays as it is.
inline constexpr std::string_view kDryRunItemText =
    "Dry run: show what a repair would change, change nothing";
inline constexpr std::string_view kDriverItemText = "Add a mass-storage driver...";
// The folder dialog of that item.
inline constexpr std::string_view kDriverFolderPrompt =
    "Choose the folder of the vendor's Windows XP mass-storage driver (the one holding its INF)";
inline constexpr std::string_view kOpenImageItemText = "Open disk image...";
// The file dialog of that item, and the list offered when several partitions hold Windows.
inline constexpr std::string_view kImageFilePrompt = "Choose a virtual machine's disk image";
inline constexpr std::string_view kImageChoicePrompt =
    "Several Windows installations are on the image. Which one to repair?";

// What a window gives the repair of a disk image.
struct ImageWindowHooks {
  // Shows one status line at once (the workflow may be waiting for a process).
  std::function<void(const std::string&)> status;
  // Which of several installations to repair, or nothing when the user cancels.
  std::function<std::optional<std::size_t>(const std::vector<WindowsCandidate>&)> choose;
};

// How the repair of a disk image ended.
struct ImageOutcome {
  bool started = false;  // false: refused while a press runs
  bool completed = false;
  // Why the image could not be opened, mounted or closed; empty when the attempt on its
  // Windows folder stopped, whose boxes have told why.
  std::string failure;
};

// The label of a candidate in the windows' list: "Partition 1: WINDOWS".
std::string CandidateLabel(const WindowsCandidate& candidate);

// What the desktop windows share, whatever draws them: the options a window starts with, its
// title, its dry-run item, and the state of its closing and finishing. A window renders what
// this says and forwards the user's actions here; it decides nothing itself.
class WindowPresenter {
 public:
  WindowPresenter() = default;
  WindowPresenter(const WindowPresenter&) = delete;
  WindowPresenter& operator=(const WindowPresenter&) = delete;

  // The form the window renders. The command line's options reach it here, before its first
  // attempt, so that a window started with --dry-run cannot repair for real.
  void Attach(Form1& form, const RepairOptions& options);
  bool Attached() const { return form_ != nullptr; }

  // The form's caption, marked while a press would be a dry run.
  std::string Title() const;
  bool DryRunChecked() const;
  // The menu items are fixed while a press runs.
  bool MenuItemsEnabled() const;
  // The user changed the dry-run item; refused (false) while a press runs.
  bool UserSetsDryRun(bool checked);
  // The user chose a vendor's driver folder for the next attempts; refused (false) while a
  // press runs.
  bool UserChoosesDriverFolder(const std::filesystem::path& folder);
  // A press of Browse; refused while a press runs or an image is open.
  void Press();

  // What the repair of a disk image runs on: the form's own platform (its attempt's hold on
  // the guest folder is let go through it before the image is unmounted) and the image
  // engine. Without them the window offers no image. The platform is the window program's,
  // which outlives the presenter, and is not copied: its front end holds this presenter, and
  // a copy would keep that front end alive for ever.
  void SetImageEngine(const Platform& platform, std::unique_ptr<DiskImages> images);
  bool ImagesAvailable() const { return images_ != nullptr; }
  // The user chose a disk image: opens it, finds the partition holding Windows, mounts it,
  // runs the form's attempt on its Windows folder with the window's dry-run and driver
  // settings, unmounts and closes it, each step's status line going to `hooks.status`.
  ImageOutcome UserOpensImage(const std::filesystem::path& image, const ImageWindowHooks& hooks);
  // While an image's Windows folder is repaired, the folder the window's folder dialog
  // answers with, without showing itself.
  std::optional<std::filesystem::path> ImageFolder() const { return imageFolder_; }
  // The form's own text of a control, which a window shows again after an image's status.
  const std::string& FormText(ControlId control) const { return form_->Text(control); }

  // The user asks to close the window: false while a press runs. A form that never loaded
  // closes without unloading.
  bool UserRequestsClose();
  // The form has unloaded (FormView::Unloaded): true when the window must now close itself,
  // as after a completed repair; false when the user's close request is what unloaded it.
  bool FormUnloaded();
  bool Ended() const { return ended_; }
  // True when the window closed because the user closed it (not after a completed repair).
  bool ClosedByUser() const { return closedByUser_; }
  // Called once, when the window has ended.
  void SetEndHandler(std::function<void()> handler) { endHandler_ = std::move(handler); }

 private:
  void Finish(bool closedByUser);

  Form1* form_ = nullptr;
  const Platform* imagePlatform_ = nullptr;
  std::unique_ptr<DiskImages> images_;
  bool imageRunning_ = false;
  std::optional<std::filesystem::path> imageFolder_;
  std::function<void()> endHandler_;
  bool closeRequested_ = false;
  bool closedByUser_ = false;
  bool ended_ = false;
};

}  // namespace ravlin
