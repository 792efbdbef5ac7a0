#include <gtest/gtest.h>

#include "tests/app/console_guest.hpp"

namespace ravlin {
namespace {

using namespace ravlin::testing;

using GuestDriversConsole = ConsoleGuest;

TEST_F(GuestDriversConsole, RepairedFromItsOwnNewestServicePackCabinet) {
  AddDriverCabinets({"driver.cab", "sp1.cab", "sp2.cab"});
  const ProgramResult result = Repair();

  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  EXPECT_NE(result.out.find("Operation completed successfully!  Click OK to exit."),
            std::string::npos);
  for (const auto& driver : kIdeDrivers)
    EXPECT_EQ(ReadFile(Driver(driver)), DriverImage("sp2.cab " + driver)) << driver;
}

TEST_F(GuestDriversConsole, AnInstallationCdFillsWhatTheGuestLacks) {
  const auto cd = temp_ / "cdrom" / "I386";
  for (const auto& driver : kIdeDrivers) {
    std::string compressed = driver;
    compressed.back() = '_';
    for (char& c : compressed) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    MakeCabinet(cd / compressed, {{driver, DriverImage("cd " + driver)}});
  }
  const ProgramResult result = Repair({"--drivers-from", cd.string()});

  ASSERT_EQ(result.exitCode, 0) << result.out << result.err;
  for (const auto& driver : kIdeDrivers)
    EXPECT_EQ(ReadFile(Driver(driver)), DriverImage("cd " + driver)) << driver;
}

}  // namespace
}  // namespace ravlin
