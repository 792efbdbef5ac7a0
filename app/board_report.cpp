#include <string>

#include "app/board_judgement.hpp"
#include "app/continue_on_error.hpp"
#include "app/form1.hpp"
#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

const std::string kAdviceOpening =
    "Ravlin looked at the disk controllers of this computer.  The repaired Windows has no "
    "driver that starts at boot for:";
const std::string kAdviceWaysOut =
    "If Windows starts from such a controller, it will still stop with STOP 0x0000007B.  "
    "There are two ways out:\r\n"
    "- set the SATA mode in the computer's firmware setup to IDE (also called compatible or "
    "legacy), or\r\n"
    "- give Ravlin the controller maker's Windows XP driver (the folder with its INF file, "
    "--driver DIR on the command line) and repair again.";

}  // namespace

std::vector<std::string> Form1::JudgeBoard(const std::string& hiveFile,
                                           std::span<const std::string_view> arrivingDrivers) {
  undrivenControllers_.clear();
  if (!platform_.storageControllers) return {};
  const StorageControllerList found = platform_.storageControllers->List();
  if (!found.unreadable.empty())
    return {"The storage controllers of this computer could not be read: " + found.unreadable};
  if (found.controllers.empty()) return {"This computer has no storage controller on PCI."};
  const std::string guest = Text(ControlId::Text1);
  // The dry run counts the drivers the repair would copy as there, and so the vendor's driver
  // file; the repair copies each one or stops before this point.
  const auto fileInGuest = [&](const std::string& image) {
    const std::string folder = "system32\\DRIVERS\\";
    if (StartsWithIgnoringAsciiCase(image, folder))
      for (const std::string_view driver : arrivingDrivers)
        if (EqualsIgnoringAsciiCase(image.substr(folder.size()), driver)) return true;
    if (vendorPlan_ &&
        EqualsIgnoringAsciiCase(image, "system32\\DRIVERS\\" + vendorPlan_->fileName))
      return true;
    return platform_.files->FileExists(guest + "\\" + image);
  };
  std::vector<std::string> lines;
  for (const ControllerVerdict& verdict :
       JudgeControllers(*platform_.hiveReader, hiveFile, found.controllers, fileInGuest)) {
    lines.push_back(verdict.line);
    if (verdict.service.empty()) undrivenControllers_.push_back(verdict.line);
  }
  return lines;
}

void Form1::ReportBoard() {
  std::vector<std::string> lines;
  ContinueOnError([&] { lines = JudgeBoard(GuestHiveFile(), {}); });
  for (const std::string& line : lines) record_.Add(line);
  view_.ControllersJudged(lines);
}

void Form1::AdviseOnBoard() {
  if (undrivenControllers_.empty() || view_.ShowsControllerLines()) return;
  std::string text = kAdviceOpening + "\r\n";
  for (const std::string& line : undrivenControllers_) text += line + "\r\n";
  ContinueOnError([&] {
    platform_.ui->MessageBox(text + "\r\n" + kAdviceWaysOut, mb::kInformation,
                             std::string(kApplicationTitle));
  });
}

}  // namespace ravlin
