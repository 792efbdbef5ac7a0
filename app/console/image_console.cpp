#include "app/console/image_console.hpp"

#include <iostream>
#include <memory>
#include <string>

#include "app/image_repair.hpp"

namespace ravlin {
namespace {

std::optional<std::size_t> AskWhich(const std::vector<WindowsCandidate>& candidates) {
  std::cout << "Several Windows installations are on the image:\n";
  for (std::size_t i = 0; i < candidates.size(); ++i)
    std::cout << "  " << i + 1 << ") partition " << candidates[i].partition << ", "
              << candidates[i].folder.string() << "\n";
  std::cout << "Which one to repair (1-" << candidates.size() << ")? " << std::flush;
  std::string line;
  if (!std::getline(std::cin, line)) return std::nullopt;
  try {
    const unsigned long chosen = std::stoul(line);
    if (chosen >= 1 && chosen <= candidates.size()) return chosen - 1;
  } catch (const std::exception&) {
    // Not a number: no choice.
  }
  return std::nullopt;
}

}  // namespace

int RunImageRepairInConsole(const ConsoleOptions& console, const RepairOptions& repair,
                            const PlatformOptions& options) {
  ImageRepairSteps steps;
  steps.choose = [&](const std::vector<WindowsCandidate>& candidates) {
    return console.interactive && !console.yes ? AskWhich(candidates) : std::nullopt;
  };
  steps.repairFolder = [&](const std::filesystem::path& windowsFolder) {
    ConsoleOptions attempt = console;
    attempt.guest = windowsFolder;
    auto frontEnd = std::make_shared<ConsoleFrontEnd>(std::cin, std::cout, attempt);
    Form1 form(MakePlatform(frontEnd, options), *frontEnd);
    ApplyRepairOptions(form, repair);
    return frontEnd->Run(form);
  };
  ImageRepairRequest request;
  request.image = std::filesystem::absolute(*repair.image);
  request.dryRun = repair.dryRun;
  request.topLayerOnly = repair.imageTopLayer;
  request.partition = repair.partition;
  // The read-back needs no answers: a front end that gives none.
  auto silent = std::make_shared<ConsoleFrontEnd>(std::cin, std::cout, ConsoleOptions{});
  const auto images = MakeDiskImages(options.registryStore.parent_path() / "images");
  return RepairImage(MakePlatform(silent, options), *images, request, steps, std::cout);
}

}  // namespace ravlin
