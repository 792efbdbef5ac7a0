// Disk images on Windows: the format is told by the content, the formats Windows cannot
// attach are refused with a message, and a refused open changes nothing. Wine's VirtDisk.dll
// attaches nothing, so the attach itself is not reached here.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/disk_images.hpp"

namespace ravlin {
namespace {

namespace fs = std::filesystem;

// A fresh folder of the temporary folder, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder()
      : path_(fs::temp_directory_path() /
              ("ravlin-images-" + std::to_string(::GetCurrentProcessId()) + "-" +
               std::to_string(::GetTickCount()))) {
    fs::create_directories(path_);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  ~ScratchFolder() {
    std::error_code error;
    fs::remove_all(path_, error);
  }
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

std::string Bytes(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Write(const fs::path& file, const std::string& bytes) {
  std::ofstream(file, std::ios::binary) << bytes;
}

// A fixed VHD: the disk's sectors, then the 512-byte footer that names the format.
std::string FixedVhd() {
  std::string disk(64 * 1024, '\0');
  disk.replace(510, 2, "\x55\xaa");
  std::string footer(512, '\0');
  footer.replace(0, 8, "conectix");
  footer.replace(60, 4, std::string("\0\0\0\x02", 4));  // disk type: fixed
  return disk + footer;
}

// The message with which opening `image` is refused; empty when it opened.
std::string Refusal(DiskImages& images, const fs::path& image, bool writable) {
  try {
    images.Open({image, writable, false});
  } catch (const DiskImageError& error) {
    return error.what();
  }
  return {};
}

TEST(Win32DiskImagesTest, FormatsWindowsCannotAttachAreNamedByTheirContent) {
  ScratchFolder folder;
  const auto images = MakeDiskImages(folder.Path() / "work");
  struct Case {
    const char* file;
    std::string content;
    const char* format;
  };
  std::string vdi(512, '\0');
  vdi.replace(0x40, 4, "\x7f\x10\xda\xbe");
  const Case cases[] = {
      {"guest.vhd", std::string("QFI\xfb\0\0\0\x03", 8) + std::string(504, '\0'), "qcow2"},
      {"guest.vhdx", "KDMV" + std::string(508, '\0'), "VMDK"},
      {"guest.img", "# Disk DescriptorFile\nversion=1\n", "VMDK"},
      {"guest.vmdk", vdi, "VDI"},
      {"guest.vhd.raw", std::string(4096, '\0'), "raw"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const fs::path image = folder.Path() / c.file;
    Write(image, c.content);
    const std::string refusal = Refusal(*images, image, true);
    EXPECT_NE(refusal.find(std::string("is a ") + c.format + " image"), std::string::npos)
        << refusal;
    EXPECT_NE(refusal.find("VHD and VHDX images only"), std::string::npos) << refusal;
    EXPECT_EQ(Bytes(image), c.content);
  }
  // Nothing was made for an image refused by its format.
  EXPECT_FALSE(fs::exists(folder.Path() / "work"));
  EXPECT_FALSE(images->Check(folder.Path() / "guest.vhd"));

  const std::string missing = Refusal(*images, folder.Path() / "absent.vhd", false);
  EXPECT_NE(missing.find("absent.vhd cannot be read"), std::string::npos) << missing;
}

TEST(Win32DiskImagesTest, AVhdGoesToVirtDiskWhateverItsNameAndChangesNothing) {
  ScratchFolder folder;
  const fs::path work = folder.Path() / "work";
  const auto images = MakeDiskImages(work);
  const fs::path image = folder.Path() / "guest.qcow2";
  const std::string content = FixedVhd();
  Write(image, content);

  // Mount points of a run that is gone are removed; this run's own and other folders stay.
  fs::create_directories(work);
  const fs::path stale = work / "volume-4000000000-1";
  const fs::path own = work / ("volume-" + std::to_string(::GetCurrentProcessId()) + "-1");
  const fs::path other = work / "volume-notes";
  for (const auto& made : {stale, own, other}) fs::create_directory(made);

  for (const bool writable : {false, true}) {
    SCOPED_TRACE(writable ? "writable" : "read-only");
    const std::string refusal = Refusal(*images, image, writable);
    // This Windows (Wine) has no working VirtDisk.dll: the message says what failed.
    EXPECT_EQ(refusal.find("images only"), std::string::npos) << refusal;
    EXPECT_TRUE(refusal.find("VirtDisk.dll") != std::string::npos ||
                refusal.find("Windows cannot open the disk image " + image.string() + ": ") !=
                    std::string::npos)
        << refusal;
    EXPECT_EQ(Bytes(image), content);
  }
  EXPECT_FALSE(fs::exists(stale));
  EXPECT_TRUE(fs::exists(own));
  EXPECT_TRUE(fs::exists(other));

  // A writable open of a read-only image is refused before VirtDisk.dll is asked.
  fs::permissions(image, fs::perms::owner_write, fs::perm_options::remove);
  const std::string readOnly = Refusal(*images, image, true);
  EXPECT_NE(readOnly.find("guest.qcow2 is read-only"), std::string::npos) << readOnly;
  fs::permissions(image, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(Bytes(image), content);
}

}  // namespace
}  // namespace ravlin
