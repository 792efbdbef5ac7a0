#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/posix/images/run_folder.hpp"
#include "tests/app/image_disk.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/host_system.hpp"
#include "tests/support/process_group.hpp"
#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace ravlin::testing;

// A virtual machine's disk built the way a technician would find it: an MBR partitioned with
// sfdisk, NTFS partitions made with mkntfs and filled through ntfs-3g with the sample XP guest
// (and a boot.ini naming its Windows folder), converted by qemu-img.
class ImageRepair : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const auto missing = ImageToolsMissing()) GTEST_SKIP() << *missing;
    MakeSampleGuest(temp_ / "guest");
    MakeDisk(raw_, {Ntfs("WINDOWS", 62)});
  }

  // An NTFS partition of `mebibytes` holding the guest as `windowsFolder`; `extra` files
  // (path, content) are added at its root.
  fs::path Ntfs(const std::string& windowsFolder, std::uint64_t mebibytes,
                const std::vector<std::pair<std::string, std::string>>& extra = {}) {
    const fs::path partition = temp_ / ("partition" + std::to_string(++made_) + ".ntfs");
    MakeNtfsPartition(partition, temp_ / "guest", temp_ / "filling", windowsFolder, mebibytes,
                      extra);
    return partition;
  }

  fs::path Convert(const std::string& format, const std::string& extension) {
    const fs::path image = temp_ / ("disk." + extension);
    MustRun({"qemu-img", "convert", "-O", format, raw_.string(), image.string()});
    return image;
  }

  ProgramResult Ravlin(std::vector<std::string> arguments, const Variables& variables = {}) {
    ProgramRun run;
    run.arguments = {BinPath("ravlin").string(), "--console"};
    run.arguments.insert(run.arguments.end(), arguments.begin(), arguments.end());
    run.environment = {{"RAVLIN_REGISTRY", (temp_ / "state" / "registry").string()},
                       {"DISPLAY", std::nullopt},
                       {"WAYLAND_DISPLAY", std::nullopt}};
    run.environment.insert(variables.begin(), variables.end());
    return RunProgram(run);
  }

  ImageReadBack Read(const fs::path& image, std::uint64_t startMiB = 1, std::uint64_t sizeMiB = 62,
                     const std::string& windowsFolder = "WINDOWS") {
    return ReadBackImage(image, temp_.path(), startMiB, sizeMiB, windowsFolder);
  }

  // A failed test may leave a killed run's daemon and mounts: they go before the folder.
  void TearDown() override { CleanUpLeftOverRuns(temp_ / "state" / "images"); }

  TempDir temp_;
  fs::path raw_ = temp_ / "disk.img";
  int made_ = 0;
};

TEST_F(ImageRepair, EveryFormatIsRepairedInPlaceAndReadsBackRepaired) {
  const std::vector<std::pair<std::string, std::string>> formats = {
      {"raw", "raw"}, {"qcow2", "qcow2"}, {"vmdk", "vmdk"},
      {"vpc", "vhd"}, {"vhdx", "vhdx"},   {"vdi", "vdi"}};
  for (const auto& [format, extension] : formats) {
    SCOPED_TRACE(format);
    const fs::path image = Convert(format, extension);
    ASSERT_EQ(Read(image).hive.find("primary_ide_channel"), std::string::npos);
    if (format == "qcow2") {
      // A dry run shows the difference and leaves the image as it was.
      const std::string before = ReadFile(image);
      const auto dryRun = Ravlin({"--image", image.string(), "--yes", "--dry-run"});
      EXPECT_NE(dryRun.out.find("CriticalDeviceDatabase\\primary_ide_channel"), std::string::npos)
          << dryRun.out;
      EXPECT_EQ(dryRun.out.find("reading the repaired"), std::string::npos);
      EXPECT_EQ(ReadFile(image), before);
    }
    const auto repaired = Ravlin({"--image", image.string(), "--yes"});
    ASSERT_EQ(repaired.exitCode, 0) << repaired.out << repaired.err;
    for (const char* step : {"opening the image", "finding the partition", "mounting partition 1",
                             "repairing WINDOWS", "closing the image", "reading the repaired"})
      EXPECT_NE(repaired.out.find(std::string("Image: ") + step), std::string::npos) << step;
    const bool hasCheck = format != "raw" && format != "vpc";
    EXPECT_EQ(repaired.out.find("qemu-img check found no errors") != std::string::npos, hasCheck)
        << repaired.out;
    const auto read = Read(image);
    EXPECT_NE(read.hive.find("primary_ide_channel"), std::string::npos);
    EXPECT_TRUE(read.atapi);
    if (hasCheck) MustRun({"qemu-img", "check", image.string()});
    fs::remove(image);
  }
  EXPECT_TRUE(fs::is_empty(temp_ / "state" / "images")) << "a run folder was left behind";
}

TEST_F(ImageRepair, SnapshotLayerIsRepairedOnlyWhenAskedAndItsBackingFileStaysByteEqual) {
  const fs::path base = Convert("qcow2", "qcow2");
  const fs::path layer = temp_ / "layer.qcow2";
  MustRun({"qemu-img", "create", "-q", "-f", "qcow2", "-b", base.string(), "-F", "qcow2",
           layer.string()});
  const std::string baseBytes = ReadFile(base);
  const std::string layerBytes = ReadFile(layer);

  const auto refused = Ravlin({"--image", layer.string(), "--yes"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.out.find("snapshot layer over"), std::string::npos) << refused.out;
  EXPECT_EQ(ReadFile(layer), layerBytes);

  const auto repaired = Ravlin({"--image", layer.string(), "--image-top-layer", "--yes"});
  ASSERT_EQ(repaired.exitCode, 0) << repaired.out;
  EXPECT_EQ(ReadFile(base), baseBytes);
  EXPECT_NE(Read(layer).hive.find("primary_ide_channel"), std::string::npos);
  EXPECT_EQ(Read(base).hive.find("primary_ide_channel"), std::string::npos);
}

TEST_F(ImageRepair, OfSeveralWindowsPartitionsOnlyTheChosenOneIsRepaired) {
  const fs::path disk = temp_ / "two.img";
  // The second Windows folder is found through boot.ini alone, whatever its casing.
  MakeDisk(disk, {Ntfs("WINDOWS", 30), Ntfs("Xp", 30)});
  const std::string before = ReadFile(disk);
  const auto refused = Ravlin({"--image", disk.string(), "--yes"});
  EXPECT_EQ(refused.exitCode, 1);
  EXPECT_NE(refused.out.find("several partitions hold Windows"), std::string::npos) << refused.out;
  EXPECT_EQ(ReadFile(disk), before);

  const auto chosen = Ravlin({"--image", disk.string(), "--yes", "--partition", "2"});
  ASSERT_EQ(chosen.exitCode, 0) << chosen.out;
  EXPECT_NE(chosen.out.find("repairing Xp on partition 2"), std::string::npos) << chosen.out;
  EXPECT_NE(Read(disk, 31, 30, "Xp").hive.find("primary_ide_channel"), std::string::npos);
  EXPECT_EQ(Read(disk, 1, 30).hive.find("primary_ide_channel"), std::string::npos);

  const auto none = Ravlin({"--image", disk.string(), "--yes", "--partition", "3"});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_NE(none.out.find("partition 3 holds no Windows"), std::string::npos) << none.out;

  // A FAT32 Windows partition is named, and left to the user to mount.
  const fs::path fat = temp_ / "fat.vfat";
  { std::ofstream(fat).close(); }
  fs::resize_file(fat, 40 * kMiB);
  MustRun({"mkfs.vfat", "-F", "32", fat.string()});
  const fs::path fatDisk = temp_ / "fat.img";
  MakeDisk(fatDisk, {fat});
  const auto refusedFat = Ravlin({"--image", fatDisk.string(), "--yes"});
  EXPECT_EQ(refusedFat.exitCode, 1);
  EXPECT_NE(refusedFat.out.find("Partition 1 holds a FAT file system"), std::string::npos)
      << refusedFat.out;
}

TEST_F(ImageRepair, ImagesItMustNotOpenAreRefusedAndLeftByteEqual) {
  const fs::path image = Convert("qcow2", "qcow2");
  const std::string before = ReadFile(image);
  {
    // A running virtual machine: qemu holds the image open for writing.
    const fs::path exported = temp_ / "in-use";
    { std::ofstream(exported).close(); }
    ProgramRun daemon;
    daemon.arguments = {
        "/usr/bin/qemu-storage-daemon", "--blockdev",
        "driver=qcow2,node-name=vm,file.driver=file,file.filename=" + image.string(), "--export",
        "type=fuse,id=vm,node-name=vm,writable=on,mountpoint=" + exported.string()};
    ProgramGroup running(daemon, temp_ / "daemon.log");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (fs::file_size(exported) == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    const auto inUse = Ravlin({"--image", image.string(), "--yes"});
    EXPECT_EQ(inUse.exitCode, 1);
    EXPECT_NE(inUse.out.find("in use by another program"), std::string::npos) << inUse.out;
    running.KillGroup();
    running.Wait(std::chrono::seconds(10));
    RunTool({"umount", "-l", exported.string()});
  }
  EXPECT_EQ(ReadFile(image), before);

  if (RunningAsSuperuser()) {
    // An image on a read-only file system (a write-protected stick, a read-only share).
    const fs::path readOnly = temp_ / "read-only";
    fs::create_directories(readOnly);
    MustRun({"mount", "-t", "tmpfs", "-o", "size=16m", "tmpfs", readOnly.string()});
    fs::copy(image, readOnly / "disk.qcow2");
    MustRun({"mount", "-o", "remount,ro", readOnly.string()});
    const auto refused = Ravlin({"--image", (readOnly / "disk.qcow2").string(), "--yes"});
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.out.find("is on a read-only file system"), std::string::npos) << refused.out;
    EXPECT_EQ(ReadFile(readOnly / "disk.qcow2"), before);
    MustRun({"umount", readOnly.string()});
  }

  // Windows hibernated: ntfs-3g would mount the volume read-only only.
  const fs::path hibernated = temp_ / "hibernated.img";
  MakeDisk(hibernated, {Ntfs("WINDOWS", 62, {{"hiberfil.sys", "hibr" + std::string(8188, '\0')}})});
  const std::string hibernatedBytes = ReadFile(hibernated);
  const auto refusedHibernated = Ravlin({"--image", hibernated.string(), "--yes"});
  EXPECT_EQ(refusedHibernated.exitCode, 1);
  EXPECT_NE(refusedHibernated.out.find("Windows is hibernated"), std::string::npos)
      << refusedHibernated.out;
  EXPECT_EQ(ReadFile(hibernated), hibernatedBytes);

  // qemu-img's key derivation measures the processor and gives up now and then on a busy one.
  const fs::path encrypted = temp_ / "encrypted.qcow2";
  for (int attempt = 0; attempt < 5 && !fs::exists(encrypted); ++attempt)
    RunTool({"qemu-img", "create", "-q", "-f", "qcow2", "--object", "secret,id=key,data=ravlin",
             "-o", "encrypt.format=luks,encrypt.key-secret=key,encrypt.iter-time=200",
             encrypted.string(), "64M"});
  ASSERT_TRUE(fs::exists(encrypted));
  const std::string encryptedBytes = ReadFile(encrypted);
  const auto refusedEncrypted = Ravlin({"--image", encrypted.string(), "--yes"});
  EXPECT_EQ(refusedEncrypted.exitCode, 1);
  EXPECT_NE(refusedEncrypted.out.find("is encrypted"), std::string::npos) << refusedEncrypted.out;
  EXPECT_EQ(ReadFile(encrypted), encryptedBytes);

  const auto missing = Ravlin({"--image", (temp_ / "none.vmdk").string(), "--yes"});
  EXPECT_EQ(missing.exitCode, 1);
  EXPECT_NE(missing.out.find("is no image file"), std::string::npos) << missing.out;

  // A rescue system without qemu: said so, the image untouched.
  fs::create_directories(temp_ / "no-programs");
  const auto noEngine =
      Ravlin({"--image", image.string(), "--yes"}, {{"PATH", (temp_ / "no-programs").string()}});
  EXPECT_EQ(noEngine.exitCode, 1);
  EXPECT_NE(noEngine.out.find("qemu-img is not installed"), std::string::npos) << noEngine.out;
  EXPECT_EQ(ReadFile(image), before);

  // The whole disk without a partition table: nothing to mount.
  const fs::path bare = temp_ / "bare.raw";
  { std::ofstream(bare).close(); }
  fs::resize_file(bare, 8 << 20);
  const auto unpartitioned = Ravlin({"--image", bare.string(), "--yes"});
  EXPECT_EQ(unpartitioned.exitCode, 1);
  EXPECT_NE(unpartitioned.out.find("no partition table"), std::string::npos) << unpartitioned.out;
}

TEST_F(ImageRepair, AKillDuringTheRepairLeavesACheckableImageAndARerunCompletes) {
  const fs::path image = Convert("qcow2", "qcow2");
  ProgramRun run;
  run.arguments = {BinPath("ravlin").string(), "--console", "--image", image.string(), "--yes"};
  run.environment = {{"RAVLIN_REGISTRY", (temp_ / "state" / "registry").string()},
                     {"DISPLAY", std::nullopt},
                     {"WAYLAND_DISPLAY", std::nullopt}};
  const fs::path output = temp_ / "killed.log";
  {
    ProgramGroup killed(run, output);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (ReadFile(output).find("Status: Importing Registry Files") == std::string::npos) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << ReadFile(output);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    killed.KillGroup();
    // Not reaped yet: the killed run lingers as a zombie, as under a parent that is busy.
    const auto deadline2 = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (ReadFile("/proc/" + std::to_string(killed.id()) + "/stat").find(") Z") ==
           std::string::npos) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline2);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    const auto rerun = Ravlin({"--image", image.string(), "--yes"});
    ASSERT_EQ(rerun.exitCode, 0) << rerun.out << rerun.err;
  }
  MustRun({"qemu-img", "check", image.string()});
  EXPECT_NE(Read(image).hive.find("primary_ide_channel"), std::string::npos);
  EXPECT_TRUE(fs::is_empty(temp_ / "state" / "images")) << "the killed run's folder stayed";
}

}  // namespace
}  // namespace ravlin
