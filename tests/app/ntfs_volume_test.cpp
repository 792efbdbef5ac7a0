#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string>

#include "tests/support/driver_files.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/host_system.hpp"
#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace ravlin::testing;

std::optional<fs::path> Program(const std::string& name) {
  for (const char* folder : {"/usr/sbin/", "/sbin/", "/usr/bin/", "/bin/"})
    if (fs::exists(std::string(folder) + name)) return fs::path(folder) / name;
  return std::nullopt;
}

// An NTFS image mounted through ntfs-3g (FUSE) for the life of the object.
class NtfsVolume {
 public:
  NtfsVolume(const fs::path& image, const fs::path& mountPoint)
      : image_(image), mountPoint_(mountPoint) {}
  NtfsVolume(const NtfsVolume&) = delete;
  NtfsVolume& operator=(const NtfsVolume&) = delete;
  ~NtfsVolume() { Unmount(); }

  // Why the volume cannot be made or mounted here, or nothing once it is mounted.
  std::optional<std::string> Create() {
    const auto mkntfs = Program("mkntfs");
    if (!mkntfs || !Program("ntfs-3g")) return "mkntfs or ntfs-3g is not installed (ntfs-3g)";
    if (auto why = DeviceUnusable("/dev/fuse")) return why;
    { std::ofstream(image_, std::ios::binary).close(); }
    fs::resize_file(image_, 64u << 20);
    ProgramRun format;
    format.arguments = {mkntfs->string(), "-F", "-Q", "-q", image_.string()};
    if (const auto made = RunProgram(format); made.exitCode != 0)
      return "mkntfs failed: " + made.err;
    return Mount();
  }

  std::optional<std::string> Mount() {
    fs::create_directories(mountPoint_);
    ProgramRun mount;
    mount.arguments = {Program("ntfs-3g")->string(), image_.string(), mountPoint_.string()};
    if (const auto mounted = RunProgram(mount); mounted.exitCode != 0)
      return "ntfs-3g cannot mount here (FUSE unavailable?): " + mounted.err;
    mounted_ = true;
    return std::nullopt;
  }

  void Unmount() {
    if (!mounted_) return;
    ProgramRun unmount;
    unmount.arguments = {Program("umount").value_or("umount").string(), mountPoint_.string()};
    EXPECT_EQ(RunProgram(unmount).exitCode, 0);
    mounted_ = false;
  }

 private:
  fs::path image_;
  fs::path mountPoint_;
  bool mounted_ = false;
};

TEST(NtfsVolume, RepairOfAnXpTreeOnARealNtfsVolumeSurvivesARemount) {
  TempDir temp;
  NtfsVolume volume(temp / "xp.img", temp / "xp");
  if (const auto reason = volume.Create()) GTEST_SKIP() << *reason;
  const fs::path program = temp / "Ravlin program";
  fs::copy(RAVLIN_BIN_DIR, program, fs::copy_options::recursive);
  for (const auto& driver : kIdeDrivers) fs::remove(program / "Ravlin_Required_Files" / driver);

  // XP's own casing: WINDOWS, system32, config\system, Driver Cache\i386.
  ProgramRun sample;
  sample.arguments = {(program / "ravlin-sample").string(), (temp / "xp").string()};
  for (const auto& driver : kIdeDrivers)
    sample.arguments.insert(sample.arguments.end(), {"--without", driver});
  ASSERT_EQ(RunProgram(sample).exitCode, 0);
  const fs::path windows = temp / "xp" / "WINDOWS";
  std::map<std::string, std::string> cabinet;
  for (const auto& driver : kIdeDrivers) cabinet[driver] = DriverImage("sp2 " + driver);
  MakeCabinet(windows / "Driver Cache" / "i386" / "sp2.cab", cabinet);
  const std::string untouched = ReadFile(windows / "system32" / "config" / "system");

  ProgramRun repair;
  repair.arguments = {(program / "ravlin").string(), "--console", "--guest", (windows).string(),
                      "--yes"};
  repair.environment = {{"RAVLIN_DRIVES", "C=" + (temp / "xp").string()},
                        {"RAVLIN_REGISTRY", (temp / "registry").string()},
                        {"windir", std::nullopt},
                        {"DISPLAY", std::nullopt},
                        {"WAYLAND_DISPLAY", std::nullopt}};
  const ProgramResult result = RunProgram(repair);
  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;

  volume.Unmount();
  ASSERT_FALSE(fs::exists(windows / "system32"));
  ASSERT_EQ(volume.Mount(), std::nullopt);

  const fs::path hive = windows / "system32" / "config" / "system";
  const std::string exported = ExportHive(hive);
  EXPECT_NE(exported.find("\\ControlSet001\\Control\\CriticalDeviceDatabase\\pci#cc_0101]"),
            std::string::npos);
  EXPECT_NE(exported.find("\\ControlSet002\\Control\\CriticalDeviceDatabase\\pci#cc_0101]"),
            std::string::npos);
  EXPECT_EQ(ReadFile(hive.string() + ".ravlin-backup"), untouched);
  for (const auto& driver : kIdeDrivers)
    EXPECT_EQ(ReadFile(windows / "system32" / "drivers" / driver), DriverImage("sp2 " + driver));
  const std::string record = ReadFile(windows / "ravlin.log");
  EXPECT_NE(record.find("Driver atapi.sys: copied from C:\\WINDOWS\\Driver Cache\\i386\\sp2.cab"),
            std::string::npos)
      << record;
  EXPECT_TRUE(record.ends_with("End: completed\r\n\r\n")) << record;
}

}  // namespace
}  // namespace ravlin
