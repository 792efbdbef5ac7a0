#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstring>

#include "platform/posix/registry/registry_import.hpp"
#include "platform/posix/runtime/unique_fd.hpp"
#include "tests/platform/registry_fixture.hpp"

namespace ravlin::testing {
namespace {

constexpr const char* kMount = "Ravlin_System";

std::vector<RegOperation> Operations(const std::string& text) {
  return ParseRegFile(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

const std::vector<RegOperation> kAddPciide = Operations(
    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Ravlin_System\\ControlSet001\\Services\\pciide]\r\n"
    "\"Start\"=dword:00000000\r\n");
const std::vector<RegOperation> kAddIntelide = Operations(
    "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Ravlin_System\\ControlSet002\\Services\\intelide]\r\n"
    "\"Start\"=dword:00000003\r\n");

class HeldMount : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    MakeGuestHive({{"ControlSet001\\Services", {}},
                   {"ControlSet002\\Services", {}},
                   {"Select", {DwordValue("Current", 1)}}});
    original = ReadFile(GuestHivePath());
    EnablePrivileges();
    registry->HoldMounts();
    ASSERT_EQ(registry->RegLoadKeyA(kHkeyLocalMachine, kMount, kGuestHiveText), 0);
    mount = MountTable(store).Read().at(0);
  }
  struct stat CopyState() const {
    struct stat state {};
    EXPECT_EQ(::stat((store / mount.copy).c_str(), &state), 0);
    return state;
  }

  std::string original;
  Mount mount;
};

TEST_F(HeldMount, ImportersChangeTheHiveInMemoryAndTheUnloadWritesTheGuestOnce) {
  const auto copyBefore = CopyState();
  const auto reply = ImportThroughHolder(store, kAddPciide);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->status, 0) << reply->reason;
  const auto copyAfter = CopyState();
  EXPECT_EQ(copyAfter.st_ino, copyBefore.st_ino) << "the working copy was not rewritten";
  EXPECT_EQ(copyAfter.st_mtim.tv_nsec, copyBefore.st_mtim.tv_nsec);
  EXPECT_EQ(ReadFile(GuestHivePath()), original);

  // The holder reads its own changes.
  RegKey key = 0;
  ASSERT_EQ(
      registry->RegOpenKeyExA(kHkeyLocalMachine, "Ravlin_System\\ControlSet001\\Services\\pciide",
                              0, kKeyQueryValue, key),
      0);
  std::vector<std::uint8_t> start;
  EXPECT_EQ(Query(key, "Start", start), 0);
  EXPECT_EQ(start, (std::vector<std::uint8_t>{0, 0, 0, 0}));
  registry->RegCloseKey(key);

  // A holder that ends leaves its changes in the working copy; the importers then work there.
  registry.reset();
  EXPECT_FALSE(std::filesystem::exists(store / ImportSocketName(mount)));
  EXPECT_FALSE(ImportThroughHolder(store, kAddIntelide));
  registry = NewRegistry();
  ImportRegOperations(*registry, kAddIntelide);
  ASSERT_EQ(registry->RegUnLoadKeyA(kHkeyLocalMachine, kMount), 0);
  const auto exported = ExportHive(GuestHivePath());
  EXPECT_NE(exported.find("ControlSet001\\Services\\pciide]\n\"Start\"=dword:00000000"),
            std::string::npos)
      << exported;
  EXPECT_NE(exported.find("ControlSet002\\Services\\intelide]\n\"Start\"=dword:00000003"),
            std::string::npos)
      << exported;
  EXPECT_EQ(ReadFile(GuestHivePath().parent_path() / "system.ravlin-backup"), original);
}

TEST_F(HeldMount, AFailedImportIsReportedAndTheHiveCanOnlyBeDiscarded) {
  ASSERT_EQ(ImportThroughHolder(store, kAddPciide)->status, 0);
  // The root of a mounted hive goes only by unmounting it.
  const auto refused = ImportThroughHolder(
      store, Operations("REGEDIT4\r\n\r\n[-HKEY_LOCAL_MACHINE\\Ravlin_System]\r\n"));
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->status, kErrorAccessDenied);
  EXPECT_NE(refused->reason.find("line 3"), std::string::npos) << refused->reason;

  // The first import went with the failed one: what is left is no complete repair.
  EXPECT_EQ(registry->RegUnLoadKeyA(kHkeyLocalMachine, kMount), kErrorRegistryIoFailed);
  EXPECT_EQ(ReadFile(GuestHivePath()), original);
  EXPECT_EQ(registry->DiscardLoadedKey(kHkeyLocalMachine, kMount), 0);
  EXPECT_EQ(ReadFile(GuestHivePath()), original);
  EXPECT_FALSE(std::filesystem::exists(GuestHivePath().parent_path() / "system.ravlin-backup"));
}

TEST_F(HeldMount, ASocketLeftByAKilledHolderIsNoHolder) {
  registry.reset();
  // What a killed holder leaves: the socket file, with no process listening.
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const auto path = (store / ImportSocketName(mount)).string();
  ASSERT_LT(path.size(), sizeof(address.sun_path));
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  {
    const UniqueFd listening(::socket(AF_UNIX, SOCK_STREAM, 0));
    ASSERT_EQ(::bind(listening.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address),
              0);
  }
  EXPECT_FALSE(ImportThroughHolder(store, kAddPciide));
}

}  // namespace
}  // namespace ravlin::testing
