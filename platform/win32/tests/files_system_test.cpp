#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>

#include "platform/pe_version.hpp"
#include "platform/win32/files/win32_drives.hpp"
#include "platform/win32/files/win32_file_service.hpp"
#include "platform/win32/files/win32_paths.hpp"
#include "platform/win32/text/wide_text.hpp"

namespace ravlin {
namespace {

std::wstring SystemFolder() {
  wchar_t folder[MAX_PATH + 1] = {};
  const UINT length = ::GetSystemDirectoryW(folder, MAX_PATH + 1);
  return std::wstring(folder, length);
}

// The system's own version reader and the program's neutral one agree on the system's
// libraries, with a version resource or (Wine's placeholder files) without one.
TEST(Win32FilesOnTheSystem, VersionsOfSystemLibrariesMatchTheNeutralReader) {
  Win32FileService files;
  for (const wchar_t* library : {L"\\kernel32.dll", L"\\setupapi.dll", L"\\user32.dll"}) {
    const std::wstring path = SystemFolder() + library;
    const auto image = ReadWholeFile(path);
    ASSERT_TRUE(image.has_value()) << Narrow(path);
    EXPECT_EQ(files.GetFileVersion(Narrow(path)),
              PeFileVersion(
                  std::span(reinterpret_cast<const std::uint8_t*>(image->data()), image->size())))
        << Narrow(path);
  }
  const std::string kernel = files.GetFileVersion(Narrow(SystemFolder() + L"\\kernel32.dll"));
  EXPECT_EQ(std::count(kernel.begin(), kernel.end(), '.'), 3) << kernel;
}

TEST(Win32FilesOnTheSystem, LongPathFormsBecomeDrivePathsAndNetworkPathsHaveNone) {
  Win32Drives drives;
  const std::wstring system = SystemFolder();
  const std::string expected = WithCapitalDrive(Narrow(system));
  EXPECT_EQ(drives.ToDrivePath(system), expected);
  EXPECT_EQ(drives.ToDrivePath(L"\\\\?\\" + system), expected);
  // A folder's trailing backslash goes, as on Linux; a root keeps its own.
  EXPECT_EQ(drives.ToDrivePath(L"\\\\?\\" + system + L"\\"), expected);
  EXPECT_EQ(drives.ToDrivePath(system + L"\\\\"), expected);
  EXPECT_EQ(drives.ToDrivePath(system.substr(0, 3)), expected.substr(0, 3));
  EXPECT_EQ(drives.ToDrivePath(L"Z:\\?\\" + system), expected);
  for (const wchar_t* elsewhere : {L"\\\\server\\share\\WINDOWS", L"//server/share/WINDOWS",
                                   L"\\\\?\\UNC\\server\\share\\WINDOWS", L"\\\\.\\PhysicalDrive0"})
    EXPECT_EQ(drives.ToDrivePath(elsewhere), "") << Narrow(elsewhere);
}

TEST(Win32FilesOnTheSystem, TheSystemDriveIsAFixedDriveAndItsFolderIsListed) {
  Win32FileService files;
  const std::string system = Narrow(SystemFolder());
  EXPECT_EQ(files.DriveType(system.substr(0, 2)), drive_type::kFixed);
  EXPECT_EQ(ToolkitDriveType(system[0]), drive_type::kFixed);
  const FolderListing listing = files.GetFolder(system);
  const std::string kernel = WithCapitalDrive(system) + "\\kernel32.dll";
  const auto found = std::find_if(listing.files.begin(), listing.files.end(), [&](const auto& f) {
    return Narrow(UpperCase(Wide(f))) == Narrow(UpperCase(Wide(kernel)));
  });
  EXPECT_NE(found, listing.files.end());
  EXPECT_EQ(files.GetFile(kernel).attributes & dos_attribute::kDirectory, 0u);
}

}  // namespace
}  // namespace ravlin
