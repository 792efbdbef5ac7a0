#include "app/window_presenter.hpp"

#include <algorithm>
#include <cmath>

namespace ravlin {
namespace {

constexpr double kTwipsPerInch = 1440.0;
constexpr std::string_view kDryRunTitleMark = "  [dry run: nothing will be changed]";

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
  return form_ != nullptr && !form_->Busy();
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
  if (form_ != nullptr) form_->Browse_Click();
}

bool WindowPresenter::UserRequestsClose() {
  if (ended_ || form_ == nullptr) return true;
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
