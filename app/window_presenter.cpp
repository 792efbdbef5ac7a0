#include "app/window_presenter.hpp"

#include <algorithm>
#include <cmath>
#include <ostream>
#include <streambuf>

namespace ravlin {
namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr std::string_view kDryRunTitleMark = "  [dry run: nothing will be changed]";
// The image workflow's line for a refusal or failure.
constexpr std::string_view kFailurePrefix = "ravlin: ";

// Hands each whole line written to it to `line`, without its end.
class LineBuffer : public std::streambuf {
 public:
  explicit LineBuffer(std::function<void(const std::string&)> line) : line_(std::move(line)) {}

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (traits_type::to_char_type(c) == '\n') {
      line_(pending_);
      pending_.clear();
    } else {
      pending_.push_back(traits_type::to_char_type(c));
    }
    return c;
  }

 private:
  std::function<void(const std::string&)> line_;
  std::string pending_;
};

}  // namespace

PixelRect TwipsToPixels(int left, int top, int width, int height, double dpi) {
  const double scale = dpi / kTwipsPerInch;
  const auto edge = [scale](int twips) { return static_cast<int>(std::lround(twips * scale)); };
  return {edge(left), edge(top), edge(left + width), edge(top + height)};
}

PixelRect DesignRect(const ControlDesign& design, double dpi) {
  return TwipsToPixels(design.left, design.top, design.width, design.height, dpi);
}

PixelRect ClientRect(double dpi) {
  return TwipsToPixels(0, 0, kClientWidthTwips, kClientHeightTwips, dpi);
}

std::array<ControlDesign, kControlDesigns.size()> ControlsInTabOrder() {
  auto byTabIndex = kControlDesigns;
  std::sort(byTabIndex.begin(), byTabIndex.end(),
            [](const ControlDesign& a, const ControlDesign& b) { return a.tabIndex < b.tabIndex; });
  return byTabIndex;
}

void WindowPresenter::Attach(Form1& form, const RepairOptions& options) {
  form_ = &form;
  ApplyRepairOptions(form, options);
}

std::string WindowPresenter::Title() const {
  if (form_ == nullptr) return std::string(kDesignCaption);
  return form_->Caption() + (form_->DryRunSet() ? std::string(kDryRunTitleMark) : "");
}

bool WindowPresenter::DryRunChecked() const {
  return form_ != nullptr && form_->DryRunSet();
}

bool WindowPresenter::MenuItemsEnabled() const {
  return form_ != nullptr && !form_->Busy() && !imageRunning_;
}

bool WindowPresenter::UserSetsDryRun(bool checked) {
  if (!MenuItemsEnabled()) return false;
  form_->SetDryRun(checked);
  return true;
}

bool WindowPresenter::UserChoosesDriverFolder(const std::filesystem::path& folder) {
  if (!MenuItemsEnabled()) return false;
  form_->SetDriverFolder(folder);
  return true;
}

void WindowPresenter::Press() {
  // While an image is open its own attempt is the only one: a press would start another
  // beside it.
  if (form_ != nullptr && !imageRunning_) form_->Browse_Click();
}

std::string CandidateLabel(const WindowsCandidate& candidate) {
  return "Partition " + std::to_string(candidate.partition) + ": " + candidate.folder.string();
}

void WindowPresenter::SetImageEngine(const Platform& platform, std::unique_ptr<DiskImages> images) {
  imagePlatform_ = &platform;
  images_ = std::move(images);
}

ImageOutcome WindowPresenter::UserOpensImage(const std::filesystem::path& image,
                                             const ImageWindowHooks& hooks) {
  ImageOutcome outcome;
  if (!MenuItemsEnabled() || !Attached() || images_ == nullptr) return outcome;
  outcome.started = true;
  // Set for as long as the image is open, however the workflow ends.
  const std::unique_ptr<bool, void (*)(bool*)> running(&imageRunning_,
                                                       [](bool* flag) { *flag = false; });
  imageRunning_ = true;
  ImageRepairSteps steps;
  steps.choose = hooks.choose;
  steps.repairFolder = [this](const std::filesystem::path& windowsFolder) {
    // The form's own attempt, its folder dialog answered with the image's Windows folder.
    const bool dryRun = form_->DryRunSet();
    imageFolder_ = windowsFolder;
    form_->Browse_Click();
    imageFolder_.reset();
    // The attempt holds the guest folder open to keep its changes beneath it; the volume
    // cannot be unmounted while it does.
    imagePlatform_->files->ConfineChangesBeneath("");
    // A completed repair unloads the form; a dry run says whether a repair would complete.
    const bool completed = dryRun ? form_->LastDryRunCompletes() : !form_->Loaded();
    return completed ? kImageRepairCompleted : kImageRepairFailed;
  };
  LineBuffer lines([&](const std::string& line) {
    if (line.starts_with(kFailurePrefix)) outcome.failure = line.substr(kFailurePrefix.size());
    hooks.status(line);
  });
  std::ostream out(&lines);
  ImageRepairRequest request;
  request.image = image;
  request.dryRun = form_->DryRunSet();
  outcome.completed =
      RepairImage(*imagePlatform_, *images_, request, steps, out) == kImageRepairCompleted;
  return outcome;
}

bool WindowPresenter::UserRequestsClose() {
  if (ended_ || form_ == nullptr) return true;
  // The image is still mounted: closing now would leave it so.
  if (imageRunning_) return false;
  closeRequested_ = true;
  const bool closing = form_->RequestClose();
  closeRequested_ = false;
  if (closing && !ended_) Finish(true);
  return closing;
}

bool WindowPresenter::FormUnloaded() {
  const bool byUser = closeRequested_;
  Finish(byUser);
  return !byUser;
}

void WindowPresenter::Finish(bool closedByUser) {
  ended_ = true;
  closedByUser_ = closedByUser;
  if (endHandler_) endHandler_();
}

}  // namespace ravlin
