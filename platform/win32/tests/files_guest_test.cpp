#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/win32/files/win32_file_attributes.hpp"
#include "platform/win32/files/win32_file_service.hpp"
#include "platform/win32/files/win32_paths.hpp"
#include "platform/win32/files/win32_temp_files.hpp"
#include "platform/win32/runtime/win32_handles.hpp"
#include "platform/win32/runtime/windows_api.hpp"
#include "platform/win32/text/wide_text.hpp"
#include "tests/support/error_number.hpp"
// The device controls build on windows.h.
#include <winioctl.h>

namespace ravlin {
namespace {

namespace fs = std::filesystem;
using testing::ErrorNumberOf;

// Makes `link` (a new folder) a junction to `target`, as "mklink /J" does.
bool MakeJunction(const fs::path& link, const fs::path& target) {
  if (!::CreateDirectoryW(link.c_str(), nullptr)) return false;
  const UniqueHandle folder(::CreateFileW(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                          FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                                          nullptr));
  if (!folder.Valid()) return false;
  const std::wstring substitute = L"\\??\\" + fs::absolute(target).wstring();
  const std::wstring print = fs::absolute(target).wstring();
  // REPARSE_DATA_BUFFER for a mount point: tag, length, reserved, four name offsets and
  // lengths, then both names each ending in a NUL.
  std::vector<std::uint8_t> buffer;
  const auto put16 = [&](std::size_t value) {
    buffer.push_back(static_cast<std::uint8_t>(value));
    buffer.push_back(static_cast<std::uint8_t>(value >> 8));
  };
  const std::size_t names = (substitute.size() + print.size() + 2) * sizeof(wchar_t);
  put16(IO_REPARSE_TAG_MOUNT_POINT & 0xFFFF);
  put16(IO_REPARSE_TAG_MOUNT_POINT >> 16);
  put16(8 + names);
  put16(0);
  put16(0);
  put16(substitute.size() * sizeof(wchar_t));
  put16((substitute.size() + 1) * sizeof(wchar_t));
  put16(print.size() * sizeof(wchar_t));
  for (const std::wstring* name : {&substitute, &print}) {
    for (const wchar_t c : *name) put16(c);
    put16(0);
  }
  DWORD returned = 0;
  return ::DeviceIoControl(folder.Get(), FSCTL_SET_REPARSE_POINT, buffer.data(),
                           static_cast<DWORD>(buffer.size()), nullptr, 0, &returned,
                           nullptr) != FALSE;
}

std::string Read(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The Unix path of a Windows path where the program runs under Wine, nothing elsewhere.
std::optional<std::string> UnixPathUnderWine(const fs::path& path) {
  using UnixName = char*(CDECL*)(const wchar_t*);
  const auto unixName = reinterpret_cast<UnixName>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  char* name = unixName != nullptr ? unixName(fs::absolute(path).c_str()) : nullptr;
  if (name == nullptr) return std::nullopt;
  std::string text(name);
  ::HeapFree(::GetProcessHeap(), 0, name);
  return text;
}

// A guest folder with a folder link below it that leads to the folder "outside". Where the
// file system makes junctions, the link is one; Wine 8 makes none (FSCTL_SET_REPARSE_POINT
// is not supported) but shows every Unix symbolic link as a reparse point, so there the guest
// is Z:\proc\self and the link its "root", the Unix root folder.
class Win32GuestTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    root_ = fs::temp_directory_path() / ("ravlin-guest-" + std::to_string(random()));
    fs::create_directories(root_ / "guest" / "WINDOWS");
    fs::create_directories(root_ / "outside");
    std::ofstream(root_ / "outside" / "victim.txt") << "safe";
    guest_ = root_ / "guest";
    link_ = guest_ / "WINDOWS" / "link";
    junction_ = MakeJunction(link_, root_ / "outside");
    if (!junction_) {
      const auto unixOutside = UnixPathUnderWine(root_ / "outside");
      if (!unixOutside) GTEST_SKIP() << "no folder link can be made here: " << ::GetLastError();
      guest_ = "Z:\\proc\\self";
      link_ = guest_ / "root" / fs::path(Wide(unixOutside->substr(1))).make_preferred();
    }
    ASSERT_EQ(Read(link_ / "victim.txt"), "safe");
  }
  void TearDown() override {
    files_.ConfineChangesBeneath("");
    if (junction_) ::RemoveDirectoryW((root_ / "guest" / "WINDOWS" / "link").c_str());
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }
  std::string Text(const fs::path& path) const { return Narrow(path.wstring()); }

  fs::path root_;
  fs::path guest_;
  fs::path link_;  // below the guest, leads to root_/outside
  bool junction_ = false;
  std::shared_ptr<Win32GuestRoot> shared_ = std::make_shared<Win32GuestRoot>();
  Win32FileService files_{shared_};
  Win32FileAttributes attributes_{shared_};
  Win32TempFiles temp_{shared_};
};

TEST_F(Win32GuestTest, NoChangePassesALinkBelowTheGuest) {
  files_.ConfineChangesBeneath(Text(guest_));
  // Any spelling of the guest leads to the same refusal.
  const std::string shouted = Narrow(UpperCase((link_ / "new.txt").wstring()));
  EXPECT_EQ(ErrorNumberOf([&] { files_.WriteText(shouted, "x", false); }), 75);
  EXPECT_EQ(ErrorNumberOf([&] { files_.WriteText(Text(link_ / "victim.txt"), "x", true); }), 75);
  EXPECT_EQ(ErrorNumberOf([&] { files_.CreateFolder(Text(link_ / "sub")); }), 75);
  EXPECT_EQ(ErrorNumberOf([&] { files_.DeleteFile(Text(link_ / "victim.txt")); }), 75);
  EXPECT_EQ(ErrorNumberOf([&] {
              files_.CopyFile(Text(root_ / "outside" / "victim.txt"), Text(link_ / "copy.txt"),
                              true);
            }),
            75);
  EXPECT_EQ(
      ErrorNumberOf([&] { files_.MoveFile(Text(link_ / "victim.txt"), Text(root_ / "v.txt")); }),
      75);
  EXPECT_EQ(ErrorNumberOf([&] { attributes_.SetAttr(Text(link_ / "victim.txt"), 1); }), 75);
  EXPECT_EQ(ErrorNumberOf([&] { attributes_.Kill(Text(link_ / "victim.txt")); }), 75);
  std::string name;
  EXPECT_EQ(temp_.GetTempFileNameA(Text(link_), "rvl", 0, name), 0u);

  EXPECT_EQ(Read(root_ / "outside" / "victim.txt"), "safe");
  EXPECT_EQ(std::distance(fs::directory_iterator(root_ / "outside"), fs::directory_iterator()), 1);
  EXPECT_EQ(attributes_.GetAttr(Text(root_ / "outside" / "victim.txt")) & 1, 0);
}

TEST_F(Win32GuestTest, AGuestAtADriveRootIsConfinedToo) {
  files_.ConfineChangesBeneath(Text(link_.root_name()) + "\\");
  EXPECT_EQ(ErrorNumberOf([&] { files_.WriteText(Text(link_ / "new.txt"), "x", false); }), 75);
  EXPECT_FALSE(fs::exists(root_ / "outside" / "new.txt"));
}

TEST_F(Win32GuestTest, DeletingAFolderRemovesAJunctionWithoutEnteringIt) {
  if (!junction_) GTEST_SKIP() << "the link here is the machine's own and stays";
  files_.ConfineChangesBeneath(Text(guest_));
  files_.DeleteFolder(Text(guest_ / "WINDOWS"), true);
  EXPECT_FALSE(fs::exists(guest_ / "WINDOWS"));
  EXPECT_EQ(Read(root_ / "outside" / "victim.txt"), "safe");
}

TEST_F(Win32GuestTest, LinksAreFollowedWhereNoGuestConfinesThem) {
  files_.WriteText(Text(link_ / "new.txt"), "through", false);
  EXPECT_EQ(Read(root_ / "outside" / "new.txt"), "through");
  files_.ConfineChangesBeneath(Text(root_ / "outside"));
  files_.WriteText(Text(link_ / "new.txt"), "again", false);
  EXPECT_EQ(Read(root_ / "outside" / "new.txt"), "again");
  // A folder whose name only begins like a folder on the way is another folder.
  const std::string guestText = Text(guest_);
  files_.ConfineChangesBeneath(guestText.substr(0, guestText.size() - 1));
  files_.WriteText(Text(link_ / "new.txt"), "third", false);
  EXPECT_EQ(Read(root_ / "outside" / "new.txt"), "third");
}

}  // namespace
}  // namespace ravlin
