#pragma once

// A virtual machine's disk built the way a technician would find it: an MBR partitioned with
// sfdisk, NTFS partitions made with mkntfs and filled through ntfs-3g with the sample XP guest
// (and a boot.ini naming its Windows folder). Shared by the console's and the windows' tests.

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/hive_files.hpp"
#include "tests/support/host_system.hpp"
#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin::testing {

inline constexpr std::uint64_t kMiB = 1 << 20;

inline ProgramResult RunTool(std::vector<std::string> arguments, const std::string& input = "") {
  ProgramRun run;
  // The tools are found on the search path.
  run.arguments = {"/usr/bin/env"};
  run.arguments.insert(run.arguments.end(), arguments.begin(), arguments.end());
  run.input = input;
  return RunProgram(run);
}

inline void MustRun(const std::vector<std::string>& arguments, const std::string& input = "") {
  const auto result = RunTool(arguments, input);
  ASSERT_EQ(result.exitCode, 0) << arguments.front() << ": " << result.err << result.out;
}

// Why images cannot be built and repaired here, or nothing.
inline std::optional<std::string> ImageToolsMissing() {
  for (const char* program :
       {"qemu-img", "qemu-storage-daemon", "ntfs-3g", "mkntfs", "sfdisk", "mkfs.vfat"})
    if (RunTool({"/bin/sh", "-c", std::string("command -v ") + program}).exitCode != 0)
      return std::string(program) + " is not installed (scripts/setup.sh installs it)";
  return DeviceUnusable("/dev/fuse");
}

// The sample XP guest (its WINDOWS folder) made below `folder`.
inline void MakeSampleGuest(const std::filesystem::path& folder) {
  MustRun({(std::filesystem::path(RAVLIN_BIN_DIR) / "ravlin-sample").string(), folder.string()});
}

// An NTFS partition file `partition` of `mebibytes` holding the guest of `guest` as
// `windowsFolder`; `extra` files (path, content) are added at its root. `filling` is an
// empty folder to mount it on meanwhile.
inline void MakeNtfsPartition(const std::filesystem::path& partition,
                              const std::filesystem::path& guest,
                              const std::filesystem::path& filling,
                              const std::string& windowsFolder, std::uint64_t mebibytes,
                              const std::vector<std::pair<std::string, std::string>>& extra = {}) {
  namespace fs = std::filesystem;
  fs::create_directories(filling);
  { std::ofstream(partition).close(); }
  fs::resize_file(partition, mebibytes * kMiB);
  MustRun({"mkntfs", "-F", "-Q", "-q", partition.string()});
  MustRun({"ntfs-3g", partition.string(), filling.string()});
  fs::copy(guest / "WINDOWS", filling / windowsFolder, fs::copy_options::recursive);
  // boot.ini spells the folder in capitals, as Windows Setup writes it.
  std::string named = windowsFolder;
  std::transform(named.begin(), named.end(), named.begin(), ::toupper);
  WriteFile(filling / "boot.ini",
            "[boot loader]\r\ndefault=multi(0)disk(0)rdisk(0)partition(1)\\" + named + "\r\n");
  for (const auto& [name, content] : extra) WriteFile(filling / name, content);
  MustRun({"umount", filling.string()});
}

// A raw disk `disk` with the partitions one after the other from 1 MiB on.
inline void MakeDisk(const std::filesystem::path& disk,
                     const std::vector<std::filesystem::path>& partitions) {
  namespace fs = std::filesystem;
  std::string table = "label: dos\n";
  std::uint64_t end = kMiB;
  for (const auto& partition : partitions) {
    table += "start=" + std::to_string(end / 512) +
             ", size=" + std::to_string(fs::file_size(partition) / 512) + ", type=7\n";
    end += fs::file_size(partition);
  }
  { std::ofstream(disk).close(); }
  fs::resize_file(disk, end + kMiB);
  MustRun({"sfdisk", "-q", disk.string()}, table);
  std::fstream out(disk, std::ios::binary | std::ios::in | std::ios::out);
  out.seekp(static_cast<std::streamoff>(kMiB));
  for (const auto& partition : partitions)
    out << std::ifstream(partition, std::ios::binary).rdbuf();
}

// An image read back without Ravlin: qemu-img writes it out raw into `scratch`, ntfs-3g
// mounts its partition read-only; the hive's export and whether the IDE drivers are there.
struct ImageReadBack {
  std::string hive;
  bool atapi = false;
};
inline ImageReadBack ReadBackImage(const std::filesystem::path& image,
                                   const std::filesystem::path& scratch, std::uint64_t startMiB = 1,
                                   std::uint64_t sizeMiB = 62,
                                   const std::string& windowsFolder = "WINDOWS") {
  namespace fs = std::filesystem;
  const fs::path raw = scratch / "read-back.raw";
  const fs::path partition = scratch / "read-back.ntfs";
  const fs::path mount = scratch / "read-back";
  MustRun({"qemu-img", "convert", "-O", "raw", image.string(), raw.string()});
  MustRun({"dd", "if=" + raw.string(), "of=" + partition.string(), "bs=1M",
           "skip=" + std::to_string(startMiB), "count=" + std::to_string(sizeMiB), "status=none"});
  fs::create_directories(mount);
  MustRun({"ntfs-3g", "-o", "ro", partition.string(), mount.string()});
  // Unmounted however the reading ends, so that removing the folder cannot reach into it.
  const std::unique_ptr<const fs::path, void (*)(const fs::path*)> mounted(
      &mount, [](const fs::path* folder) {
        RunTool({"umount", folder->string()});
      });
  ImageReadBack read;
  read.hive = ExportHive(mount / windowsFolder / "system32" / "config" / "system");
  read.atapi = fs::exists(mount / windowsFolder / "system32" / "drivers" / "atapi.sys");
  fs::remove(raw);
  fs::remove(partition);
  return read;
}

}  // namespace ravlin::testing
