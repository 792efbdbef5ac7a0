// The format of a disk image is told by its content: images made by qemu-img, under names
// that lie about them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/disk_images.hpp"
#include "platform/image_format.hpp"
#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using namespace ravlin::testing;

TEST(ImageFormat, ImagesMadeByQemuImgAreToldByTheirContent) {
  ProgramRun probe;
  probe.arguments = {"/bin/sh", "-c", "command -v qemu-img"};
  if (RunProgram(probe).exitCode != 0)
    GTEST_SKIP() << "qemu-img is not installed (scripts/setup.sh installs it)";
  TempDir temp;
  struct Case {
    std::vector<std::string> options;
    const char* name;  // never the format's own extension
    ImageFormat format;
  };
  const Case cases[] = {
      {{"-f", "qcow2"}, "disk.vhd", ImageFormat::kQcow2},
      {{"-f", "vmdk"}, "disk.qcow2", ImageFormat::kVmdk},
      {{"-f", "vmdk", "-o", "subformat=monolithicFlat"}, "flat.vhdx", ImageFormat::kVmdk},
      {{"-f", "vpc"}, "dynamic.img", ImageFormat::kVhd},
      {{"-f", "vpc", "-o", "subformat=fixed"}, "fixed.vmdk", ImageFormat::kVhd},
      {{"-f", "vhdx"}, "disk.vdi", ImageFormat::kVhdx},
      {{"-f", "vdi"}, "disk.raw", ImageFormat::kVdi},
      {{"-f", "raw"}, "disk.vhd", ImageFormat::kRaw},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path folder = temp / ImageFormatName(c.format) / std::to_string(c.options.size());
    fs::create_directories(folder);
    ProgramRun create;
    create.arguments = {"/usr/bin/env", "qemu-img", "create", "-q"};
    create.arguments.insert(create.arguments.end(), c.options.begin(), c.options.end());
    create.arguments.insert(create.arguments.end(), {(folder / c.name).string(), "8M"});
    const auto made = RunProgram(create);
    ASSERT_EQ(made.exitCode, 0) << made.err;
    EXPECT_STREQ(ImageFormatName(DetectImageFormat(folder / c.name)), ImageFormatName(c.format));
  }
  // A file shorter than any signature is a (tiny) raw disk; a missing one cannot be read.
  WriteFile(temp / "short.vhd", "QFI");
  EXPECT_EQ(DetectImageFormat(temp / "short.vhd"), ImageFormat::kRaw);
  EXPECT_THROW(DetectImageFormat(temp / "absent.vhdx"), DiskImageError);
}

}  // namespace
}  // namespace ravlin
