#include "platform/posix/files/beneath.hpp"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "tests/support/temp_dir.hpp"

namespace fs = std::filesystem;

namespace ravlin {
namespace {

using testing::ReadFile;
using testing::TempDir;
using testing::WriteFile;

using OpenCall = beneath::Opened (*)(int, std::string_view, int, mode_t);

// A root with a file, a folder and links of every kind, and a folder outside it.
class BeneathFixture : public ::testing::Test {
 protected:
  BeneathFixture() {
    WriteFile(root / "windows/file.txt", "inside");
    WriteFile(outside / "secret.txt", "outside");
    fs::create_directory_symlink(outside, root / "windows/abs_out");
    fs::create_directory_symlink("../../outside", root / "windows/rel_out");
    fs::create_directory_symlink("../windows", root / "windows/rel_in");
    fs::create_symlink(root / "windows/file.txt", root / "windows/abs_in");
    fs::create_symlink("../../outside/new.txt", root / "windows/dangling_out");
    fs::create_symlink("made.txt", root / "windows/dangling_in");
    fs::create_symlink("loop", root / "windows/loop");
    handle = beneath::OpenRoot(root.string());
  }

  TempDir temp;
  fs::path root = temp / "root";
  fs::path outside = temp / "outside";
  beneath::Opened handle;
};

// Every case runs through openat2 and through the walk used without it.
class BeneathTest : public BeneathFixture, public ::testing::WithParamInterface<OpenCall> {
 protected:
  beneath::Opened Open(std::string_view path, int flags, mode_t mode = 0) {
    return GetParam()(handle.fd.get(), path, flags, mode);
  }
  int ErrorOf(std::string_view path, int flags, mode_t mode = 0) {
    return Open(path, flags, mode).error;
  }
};

TEST_P(BeneathTest, PathsThatStayInsideOpen) {
  ASSERT_EQ(handle.error, 0);
  EXPECT_EQ(ErrorOf("windows/file.txt", O_RDONLY), 0);
  EXPECT_EQ(ErrorOf("windows/../windows/./file.txt", O_RDONLY), 0);
  EXPECT_EQ(ErrorOf("windows/rel_in/rel_in/file.txt", O_RDONLY), 0);
  EXPECT_EQ(ErrorOf("", O_RDONLY | O_DIRECTORY), 0);
  EXPECT_EQ(ErrorOf("windows/rel_in", O_RDONLY | O_DIRECTORY), 0);
  const beneath::Opened created = Open("windows/dangling_in", O_WRONLY | O_CREAT, 0644);
  ASSERT_EQ(created.error, 0);
  EXPECT_EQ(::write(created.fd.get(), "x", 1), 1);
  EXPECT_EQ(ReadFile(root / "windows/made.txt"), "x");
  EXPECT_EQ(ErrorOf("windows/missing.txt", O_RDONLY), ENOENT);
  EXPECT_EQ(ErrorOf("windows/file.txt/x", O_RDONLY), ENOTDIR);
}

TEST_P(BeneathTest, PathsThatLeaveAreRefusedAndCreateNothing) {
  EXPECT_EQ(ErrorOf("../outside/secret.txt", O_RDONLY), EXDEV);
  EXPECT_EQ(ErrorOf("windows/../../outside/secret.txt", O_RDONLY), EXDEV);
  EXPECT_EQ(ErrorOf("..", O_RDONLY | O_DIRECTORY), EXDEV);
  EXPECT_EQ(ErrorOf((outside / "secret.txt").string(), O_RDONLY), EXDEV);
  EXPECT_EQ(ErrorOf("windows/abs_out/secret.txt", O_RDONLY), EXDEV);
  EXPECT_EQ(ErrorOf("windows/rel_out/secret.txt", O_RDONLY), EXDEV);
  EXPECT_EQ(ErrorOf("windows/rel_out", O_RDONLY | O_DIRECTORY), EXDEV);
  // An absolute link is refused even when it would land inside.
  EXPECT_EQ(ErrorOf("windows/abs_in", O_RDONLY), EXDEV);
  EXPECT_EQ(ErrorOf("windows/abs_out/new.txt", O_WRONLY | O_CREAT, 0644), EXDEV);
  EXPECT_EQ(ErrorOf("windows/dangling_out", O_WRONLY | O_CREAT, 0644), EXDEV);
  EXPECT_EQ(ErrorOf("windows/loop", O_RDONLY), ELOOP);
  EXPECT_FALSE(fs::exists(outside / "new.txt"));
  EXPECT_EQ(ReadFile(outside / "secret.txt"), "outside");
}

TEST_P(BeneathTest, FinalLinkIsNotFollowedWhenAskedSo) {
  EXPECT_EQ(ErrorOf("windows/rel_in/file.txt", O_RDONLY | O_NOFOLLOW), 0);
  EXPECT_EQ(ErrorOf("windows/dangling_in", O_RDONLY | O_NOFOLLOW), ELOOP);
  EXPECT_EQ(ErrorOf("windows/dangling_out", O_WRONLY | O_CREAT | O_EXCL, 0644), EEXIST);
  EXPECT_EQ(ErrorOf("windows/abs_out", O_PATH | O_NOFOLLOW), 0);
  EXPECT_FALSE(fs::exists(outside / "new.txt"));
}

INSTANTIATE_TEST_SUITE_P(Kernel, BeneathTest, ::testing::Values(&beneath::Open),
                         [](const auto&) { return "openat2"; });
INSTANTIATE_TEST_SUITE_P(Walk, BeneathTest, ::testing::Values(&beneath::OpenByWalk),
                         [](const auto&) { return "walk"; });

using BeneathChangeTest = BeneathFixture;

TEST_F(BeneathChangeTest, FoldersRenamesAndDeletionsStayInside) {
  const int folder = handle.fd.get();
  EXPECT_EQ(beneath::MakeFolder(folder, "windows/system32"), 0);
  EXPECT_EQ(beneath::MakeFolder(folder, "windows/rel_in/system32/drivers/"), 0);
  EXPECT_TRUE(fs::is_directory(root / "windows/system32/drivers"));
  EXPECT_EQ(beneath::MakeFolder(folder, "windows/rel_out/drivers"), EXDEV);
  // A link in the last place is an existing entry, never a way out.
  EXPECT_EQ(beneath::MakeFolder(folder, "windows/abs_out"), EEXIST);

  EXPECT_EQ(beneath::Rename(folder, "windows/file.txt", "windows/system32/moved.txt"), 0);
  EXPECT_EQ(ReadFile(root / "windows/system32/moved.txt"), "inside");
  EXPECT_EQ(beneath::Rename(folder, "windows/system32/moved.txt", "windows/abs_out/moved.txt"),
            EXDEV);
  EXPECT_EQ(beneath::Rename(folder, "windows/rel_out/secret.txt", "windows/stolen.txt"), EXDEV);
  EXPECT_EQ(beneath::Rename(folder, "windows/system32/moved.txt", "windows/..", 0), EINVAL);

  EXPECT_EQ(beneath::Unlink(folder, "windows/rel_out/secret.txt"), EXDEV);
  EXPECT_EQ(beneath::Unlink(folder, "windows/abs_out"), 0);
  EXPECT_FALSE(fs::is_symlink(root / "windows/abs_out"));
  EXPECT_EQ(ReadFile(outside / "secret.txt"), "outside");
  EXPECT_EQ(beneath::Unlink(folder, "windows/system32/drivers", AT_REMOVEDIR), 0);
  EXPECT_FALSE(fs::exists(root / "windows/system32/drivers"));
}

TEST_F(BeneathChangeTest, EntryNamesTheLastPartInItsFolder) {
  const beneath::Entry entry = beneath::OpenEntry(handle.fd.get(), "windows/rel_in/file.txt");
  ASSERT_EQ(entry.error, 0);
  EXPECT_EQ(entry.name, "file.txt");
  EXPECT_EQ(::faccessat(entry.folder.get(), entry.name.c_str(), F_OK, 0), 0);
  EXPECT_EQ(beneath::OpenEntry(handle.fd.get(), "file.txt").error, 0);
  EXPECT_EQ(beneath::OpenEntry(handle.fd.get(), "windows/..").error, EINVAL);
  EXPECT_EQ(beneath::OpenEntry(handle.fd.get(), "").error, EINVAL);
  EXPECT_EQ(beneath::OpenEntry(handle.fd.get(), "windows/abs_out/x").error, EXDEV);
  EXPECT_EQ(beneath::OpenRoot((temp / "missing").string()).error, ENOENT);
}

}  // namespace
}  // namespace ravlin
