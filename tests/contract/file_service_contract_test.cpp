#include <chrono>
#include <filesystem>
#include <string>

#include "platform/runtime_error.hpp"
#include "tests/contract/contract_files.hpp"
#include "tests/support/error_number.hpp"

namespace ravlin::testing {
namespace {

namespace fs = std::filesystem;

class FileServiceContract : public ContractFilesTest {
 protected:
  // A letter that names no drive on this machine.
  std::string AbsentDrive() {
    for (char letter = 'Z'; letter >= 'D'; --letter)
      if (!platform_.files->DriveExists(std::string(1, letter) + ":"))
        return std::string(1, letter) + ":";
    return {};
  }

  FileService& files() { return *platform_.files; }
};

TEST_F(FileServiceContract, FoldersAndFilesAreCreatedCopiedMovedAndDeleted) {
  files().CreateFolder(PathOf("sub"));
  EXPECT_TRUE(files().FolderExists(PathOf("sub")));
  EXPECT_FALSE(files().FileExists(PathOf("sub")));
  EXPECT_EQ(ErrorNumberOf([&] { files().CreateFolder(PathOf("sub")); }), 58);
  EXPECT_EQ(ErrorNumberOf([&] { files().CreateFolder(PathOf("none\\deeper")); }), 76);

  files().WriteText(PathOf("sub\\a.txt"), "hello", false);
  files().WriteText(PathOf("sub\\a.txt"), " world", true);
  EXPECT_EQ(files().ReadAllText(PathOf("sub\\a.txt")), "hello world");
  EXPECT_TRUE(files().FileExists(PathOf("sub\\a.txt")));
  EXPECT_FALSE(files().FileExists(PathOf("sub\\*.txt")));
  EXPECT_FALSE(files().FolderExists(PathOf("sub\\a.txt")));

  files().CopyFile(PathOf("sub\\a.txt"), PathOf("b.txt"), false);
  EXPECT_EQ(Read("b.txt"), "hello world");
  files().WriteText(PathOf("sub\\a.txt"), "new", false);  // output mode empties the file first
  EXPECT_EQ(ErrorNumberOf([&] { files().CopyFile(PathOf("sub\\a.txt"), PathOf("b.txt"), false); }),
            58);
  EXPECT_EQ(Read("b.txt"), "hello world");
  files().CopyFile(PathOf("sub\\a.txt"), PathOf("b.txt"), true);
  EXPECT_EQ(Read("b.txt"), "new");
  files().CreateFolder(PathOf("into"));
  files().CopyFile(PathOf("b.txt"), PathOf("into\\"), false);
  EXPECT_EQ(Read("into/b.txt"), "new");
  EXPECT_EQ(ErrorNumberOf([&] { files().CopyFile(PathOf("gone.txt"), PathOf("c.txt"), false); }),
            53);
  EXPECT_EQ(ErrorNumberOf([&] { files().CopyFile(PathOf("b.txt"), PathOf("none\\c.txt"), true); }),
            76);

  files().MoveFile(PathOf("b.txt"), PathOf("c.txt"));
  EXPECT_FALSE(fs::exists(NativeOf("b.txt")));
  EXPECT_EQ(Read("c.txt"), "new");
  EXPECT_EQ(ErrorNumberOf([&] { files().MoveFile(PathOf("c.txt"), PathOf("into\\b.txt")); }), 58);
  EXPECT_TRUE(fs::exists(NativeOf("c.txt")));

  files().DeleteFile(PathOf("c.txt"));
  EXPECT_FALSE(fs::exists(NativeOf("c.txt")));
  EXPECT_EQ(ErrorNumberOf([&] { files().DeleteFile(PathOf("c.txt")); }), 53);

  platform_.attributes->SetAttr(PathOf("sub\\a.txt"), dos_attribute::kReadOnly);
  EXPECT_EQ(ErrorNumberOf([&] { files().DeleteFolder(PathOf("sub"), false); }), 70);
  EXPECT_TRUE(fs::exists(NativeOf("sub/a.txt")));
  files().DeleteFolder(PathOf("sub"), true);
  EXPECT_FALSE(fs::exists(NativeOf("sub")));
  EXPECT_EQ(ErrorNumberOf([&] { files().DeleteFolder(PathOf("sub"), true); }), 76);
}

TEST_F(FileServiceContract, ListingsAreSortedIgnoringCaseAndDetailsDescribeTheFile) {
  Write("b.txt", "bb");
  Write("A.txt", "a");
  Write("c.log", "");
  fs::create_directory(NativeOf("Zeta"));
  fs::create_directory(NativeOf("mid"));
  const FolderListing listing = files().GetFolder(folder_);
  EXPECT_EQ(listing.files,
            (std::vector<std::string>{PathOf("A.txt"), PathOf("b.txt"), PathOf("c.log")}));
  EXPECT_EQ(listing.subFolders, (std::vector<std::string>{PathOf("mid"), PathOf("Zeta")}));
  EXPECT_TRUE(files().GetFolder(PathOf("mid")).files.empty());
  EXPECT_EQ(ErrorNumberOf([&] { files().GetFolder(PathOf("none")); }), 76);

  const auto before = std::chrono::system_clock::now() - std::chrono::hours(1);
  const FileDetails details = files().GetFile(PathOf("b.txt"));
  EXPECT_EQ(details.path, PathOf("b.txt"));
  EXPECT_EQ(details.drive, folder_.substr(0, 2));
  EXPECT_EQ(details.parentFolder, folder_);
  EXPECT_EQ(details.size, 2u);
  EXPECT_FALSE(details.type.empty());
  EXPECT_GT(details.lastModified, before);
  EXPECT_GT(details.lastAccessed, before);
  EXPECT_GT(details.created, before);
  EXPECT_LT(details.lastModified, std::chrono::system_clock::now() + std::chrono::hours(1));
  EXPECT_EQ(details.attributes & (dos_attribute::kDirectory | dos_attribute::kReadOnly), 0u);
  EXPECT_EQ(ErrorNumberOf([&] { files().GetFile(PathOf("none.txt")); }), 53);
  EXPECT_EQ(ErrorNumberOf([&] { files().GetFile(PathOf("mid")); }), 53);
}

TEST_F(FileServiceContract, FailuresCarryTheClassicNumbersAndChangeNothing) {
  Write("kept.txt", "kept");
  fs::create_directory(NativeOf("folder"));
  EXPECT_EQ(ErrorNumberOf([&] { files().WriteText(PathOf("none\\x.txt"), "x", false); }), 76);
  EXPECT_EQ(ErrorNumberOf([&] { files().WriteText(PathOf("folder"), "x", false); }), 75);
  EXPECT_EQ(ErrorNumberOf([&] { files().ReadAllText(PathOf("none.txt")); }), 53);
  EXPECT_EQ(ErrorNumberOf([&] { files().ReadAllText(PathOf("folder")); }), 53);
  EXPECT_EQ(ErrorNumberOf([&] { files().GetFileVersion(PathOf("none.txt")); }), 53);
  EXPECT_EQ(files().GetFileVersion(PathOf("kept.txt")), "");

  platform_.attributes->SetAttr(PathOf("kept.txt"), dos_attribute::kReadOnly);
  Write("other.txt", "other");
  EXPECT_EQ(ErrorNumberOf([&] { files().CopyFile(PathOf("other.txt"), PathOf("kept.txt"), true); }),
            70);
  EXPECT_EQ(
      ErrorNumberOf([&] { files().CopyFile(PathOf("other.txt"), PathOf("other.txt"), true); }), 70);
  EXPECT_EQ(Read("kept.txt"), "kept");
  EXPECT_EQ(Read("other.txt"), "other");
  platform_.attributes->SetAttr(PathOf("kept.txt"), 0);
}

TEST_F(FileServiceContract, DrivesAreReportedByLetter) {
  const std::string drive = folder_.substr(0, 2);
  EXPECT_TRUE(files().DriveExists(drive));
  EXPECT_TRUE(files().DriveExists(drive + "\\"));
  EXPECT_TRUE(files().DriveIsReady(drive));
  EXPECT_TRUE(files().FolderExists(drive));
  const std::int32_t type = files().DriveType(drive);
  EXPECT_GE(type, drive_type::kRemovable);
  EXPECT_LE(type, drive_type::kRamDisk);
  EXPECT_EQ(ErrorNumberOf([&] { files().DriveType("not a drive"); }), 5);

  const std::string absent = AbsentDrive();
  ASSERT_FALSE(absent.empty());
  EXPECT_FALSE(files().FolderExists(absent));
  EXPECT_EQ(ErrorNumberOf([&] { files().DriveIsReady(absent); }), 68);
  EXPECT_EQ(ErrorNumberOf([&] { files().DriveType(absent); }), 68);
}

TEST_F(FileServiceContract, OnlyNormalFilesMatchAPattern) {
  Write("setup.log", "");
  fs::create_directory(NativeOf("folder.dat"));
  EXPECT_TRUE(files().NormalFileMatches(PathOf("*.LOG")));
  EXPECT_TRUE(files().NormalFileMatches(PathOf("setup.???")));
  EXPECT_TRUE(files().NormalFileMatches(PathOf("setup.log")));
  EXPECT_FALSE(files().NormalFileMatches(PathOf("*.dat")));
  EXPECT_FALSE(files().NormalFileMatches(PathOf("*.txt")));
  EXPECT_FALSE(files().NormalFileMatches(PathOf("none\\*.log")));
}

TEST_F(FileServiceContract, FilesAreReadInPiecesAndEntriesToldApartByKind) {
  Write("ten.txt", "0123456789");
  fs::create_directory(NativeOf("folder"));
  const FilePart middle = files().ReadFilePart(PathOf("ten.txt"), 3, 4);
  EXPECT_EQ(middle.bytes, "3456");
  EXPECT_EQ(middle.fileSize, 10u);
  EXPECT_EQ(files().ReadFilePart(PathOf("ten.txt"), 8, 100).bytes, "89");
  const FilePart beyond = files().ReadFilePart(PathOf("ten.txt"), 20, 4);
  EXPECT_EQ(beyond.bytes, "");
  EXPECT_EQ(beyond.fileSize, 10u);
  EXPECT_EQ(ErrorNumberOf([&] { files().ReadFilePart(PathOf("folder"), 0, 4); }), 53);
  EXPECT_EQ(ErrorNumberOf([&] { files().ReadFilePart(PathOf("gone.txt"), 0, 4); }), 53);

  EXPECT_EQ(files().KindOfEntry(PathOf("ten.txt")), PathKind::kFile);
  EXPECT_EQ(files().KindOfEntry(PathOf("folder")), PathKind::kFolder);
  EXPECT_EQ(files().KindOfEntry(PathOf("gone.txt")), PathKind::kMissing);
  EXPECT_EQ(files().KindOfEntry(PathOf("none\\deeper.txt")), PathKind::kMissing);
}

TEST_F(FileServiceContract, ChangesBelowTheGuestNeverPassALinkThatLeadsOut) {
  fs::create_directories(NativeOf("guest/Windows"));
  fs::create_directory(NativeOf("outside"));
  Write("outside/victim.txt", "safe");
  std::error_code error;
  fs::create_directory_symlink(NativeOf("outside"), NativeOf("guest/Windows/link"), error);
  if (error) GTEST_SKIP() << "this machine lets the test make no folder link: " << error.message();
  files().ConfineChangesBeneath(PathOf("guest"));

  EXPECT_EQ(
      ErrorNumberOf([&] { files().WriteText(PathOf("guest\\Windows\\link\\x.txt"), "x", false); }),
      75);
  EXPECT_EQ(ErrorNumberOf([&] { files().CreateFolder(PathOf("guest\\Windows\\link\\new")); }), 75);
  EXPECT_EQ(ErrorNumberOf([&] {
              files().CopyFile(PathOf("outside\\victim.txt"), PathOf("guest\\Windows\\link\\c.txt"),
                               false);
            }),
            75);
  EXPECT_EQ(ErrorNumberOf([&] { files().DeleteFile(PathOf("guest\\Windows\\link\\victim.txt")); }),
            75);
  // Reads below the guest never pass it either, and the link is told apart from a folder.
  EXPECT_EQ(ErrorNumberOf([&] { files().ReadAllText(PathOf("guest\\Windows\\link\\victim.txt")); }),
            75);
  EXPECT_EQ(ErrorNumberOf(
                [&] { files().ReadFilePart(PathOf("guest\\Windows\\link\\victim.txt"), 0, 4); }),
            75);
  EXPECT_EQ(files().KindOfEntry(PathOf("guest\\Windows\\link")), PathKind::kLink);
  EXPECT_EQ(files().ReadAllText(PathOf("outside\\victim.txt")), "safe");
  EXPECT_EQ(Read("outside/victim.txt"), "safe");
  EXPECT_FALSE(fs::exists(NativeOf("outside/x.txt")));
  EXPECT_FALSE(fs::exists(NativeOf("outside/new")));
  EXPECT_FALSE(fs::exists(NativeOf("outside/c.txt")));

  // Plain folders below the guest, and places outside it, are changed as ever.
  files().WriteText(PathOf("guest\\Windows\\plain.txt"), "in", false);
  EXPECT_EQ(Read("guest/Windows/plain.txt"), "in");
  files().WriteText(PathOf("outside\\y.txt"), "out", false);
  EXPECT_EQ(Read("outside/y.txt"), "out");
}

}  // namespace
}  // namespace ravlin::testing
