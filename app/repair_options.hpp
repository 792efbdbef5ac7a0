#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "app/form1.hpp"

namespace ravlin {

// The command-line options of the repair itself, beside the front end's own.
struct RepairOptions {
  std::optional<std::filesystem::path> driversFrom;
  // A vendor's mass-storage driver folder, installed after the IDE repair.
  std::optional<std::filesystem::path> driver;
  // Answers Yes to the warning for a Windows the repair does not fit (and every box).
  bool force = false;
  // Show what a repair would change, changing nothing.
  bool dryRun = false;
  // Undo the repairs of this guest instead of repairing it.
  std::optional<std::filesystem::path> restore;
  // Repair the guest on this virtual machine disk image in place.
  std::optional<std::filesystem::path> image;
  std::optional<int> partition;
  bool imageTopLayer = false;

  // Options that run without a window.
  bool Scripted() const { return force || restore.has_value() || image.has_value(); }
};

// Takes words[i], and its value after it, when it is one of the repair's options (moving i
// past them); false for any other word and for an option without its value.
bool ParseRepairOption(const std::vector<std::string>& words, std::size_t& i,
                       RepairOptions& options);

// Hands the options to the window before its first attempt.
void ApplyRepairOptions(Form1& form, const RepairOptions& options);

// The lines of the usage text for these options.
extern const char* const kRepairOptionsUsage;

}  // namespace ravlin
