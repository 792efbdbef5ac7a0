#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>

#include "tests/support/hive_files.hpp"
#include "tests/support/run_program.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

using namespace ravlin::testing;

const std::filesystem::path kDataFolder =
    std::filesystem::path(RAVLIN_SOURCE_DIR) / "data" / "Ravlin_Required_Files";

std::string RegistryFileName(int n) {
  return "tarvel00" + std::to_string(n) + ".reg";
}

// The device ids of the IDE controller settings (KB 314082), as the repair must write them.
const std::set<std::string> kDeviceIds = {"primary_ide_channel",
                                          "secondary_ide_channel",
                                          "*pnp0600",
                                          "*azt0502",
                                          "gendisk",
                                          "pci#cc_0101",
                                          "pci#ven_0e11&dev_ae33",
                                          "pci#ven_1039&dev_0601",
                                          "pci#ven_1039&dev_5513",
                                          "pci#ven_1042&dev_1000",
                                          "pci#ven_105a&dev_4d33",
                                          "pci#ven_1095&dev_0640",
                                          "pci#ven_1095&dev_0646",
                                          "pci#ven_1095&dev_0646&rev_05",
                                          "pci#ven_1095&dev_0646&rev_07",
                                          "pci#ven_1095&dev_0648",
                                          "pci#ven_1095&dev_0649",
                                          "pci#ven_1097&dev_0038",
                                          "pci#ven_10ad&dev_0001",
                                          "pci#ven_10ad&dev_0150",
                                          "pci#ven_10b9&dev_5215",
                                          "pci#ven_10b9&dev_5219",
                                          "pci#ven_10b9&dev_5229",
                                          "pci#ven_1106&dev_0571",
                                          "pci#ven_8086&dev_1222",
                                          "pci#ven_8086&dev_1230",
                                          "pci#ven_8086&dev_2411",
                                          "pci#ven_8086&dev_2421",
                                          "pci#ven_8086&dev_7010",
                                          "pci#ven_8086&dev_7111",
                                          "pci#ven_8086&dev_7199"};

// A UTF-16LE file with BOM and CR LF as plain text with LF; fails on anything but ASCII.
std::string DecodeRegistryFile(const std::string& bytes) {
  EXPECT_GE(bytes.size(), 2u);
  EXPECT_EQ(bytes.substr(0, 2), "\xFF\xFE");
  std::string text;
  for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
    EXPECT_EQ(bytes[i + 1], '\0') << "non-ASCII character at byte " << i;
    if (bytes[i] != '\r') text += bytes[i];
  }
  return text;
}

ProgramResult RunArguments(std::vector<std::string> arguments) {
  ProgramRun run;
  run.arguments = std::move(arguments);
  return RunProgram(run);
}

TEST(RegistryFiles, CommittedFilesAreTheGeneratorsOutput) {
  TempDir temp;
  const auto generator =
      std::filesystem::path(RAVLIN_BIN_DIR).parent_path() / "tools" / "ravlin-regfiles";
  const ProgramResult run = RunArguments({generator.string(), temp.path().string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  for (int n = 1; n <= 9; ++n) {
    EXPECT_EQ(ReadFile(temp / RegistryFileName(n)), ReadFile(kDataFolder / RegistryFileName(n)))
        << RegistryFileName(n) << " differs: run ravlin-regfiles data/Ravlin_Required_Files";
    EXPECT_EQ(ReadFile(std::filesystem::path(RAVLIN_BIN_DIR) / "Ravlin_Required_Files" /
                       RegistryFileName(n)),
              ReadFile(kDataFolder / RegistryFileName(n)));
  }
}

TEST(RegistryFiles, FileNWritesControlSetNOnlyWithEveryDeviceAndService) {
  for (int n = 1; n <= 9; ++n) {
    SCOPED_TRACE(RegistryFileName(n));
    const std::string text = DecodeRegistryFile(ReadFile(kDataFolder / RegistryFileName(n)));
    EXPECT_EQ(text.substr(0, text.find('\n')), "Windows Registry Editor Version 5.00");
    const std::string controlSet =
        "[HKEY_LOCAL_MACHINE\\Ravlin_System\\ControlSet00" + std::to_string(n) + "\\";
    const std::string devices = controlSet + "Control\\CriticalDeviceDatabase\\";
    std::set<std::string> deviceIds;
    std::set<std::string> services;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
      if (line.empty() || line[0] != '[') continue;
      ASSERT_EQ(line.rfind(controlSet, 0), 0u) << line;
      ASSERT_EQ(line.back(), ']');
      const std::string key = line.substr(controlSet.size(), line.size() - controlSet.size() - 1);
      if (line.rfind(devices, 0) == 0)
        deviceIds.insert(line.substr(devices.size(), line.size() - devices.size() - 1));
      else if (key.rfind("Services\\", 0) == 0)
        services.insert(key.substr(9));
      else
        ADD_FAILURE() << "unexpected key " << line;
    }
    EXPECT_EQ(deviceIds, kDeviceIds);
    EXPECT_EQ(services, (std::set<std::string>{"atapi", "IntelIde", "PCIIde"}));
  }
}

// What an independent reader (hivexregedit) makes of a file: it is merged into a guest-like
// hive in which PCIIde is disabled, as on a machine installed on an Intel board.
TEST(RegistryFiles, MergedByHivexTheyEnableTheIdeDrivers) {
  TempDir temp;
  const auto hive = temp / "system";
  MakeTestHive(hive, {{"ControlSet003\\Services\\PCIIde",
                       {DwordValue("Start", 4), DwordValue("Type", 1), DwordValue("Tag", 3)}},
                      {"ControlSet003\\Control\\CriticalDeviceDatabase", {}}});
  // hivexregedit reads the local encoding: UTF-8 with LF.
  WriteFile(temp / "merge.reg", DecodeRegistryFile(ReadFile(kDataFolder / RegistryFileName(3))));
  const ProgramResult merge = RunArguments({"/usr/bin/hivexregedit", "--merge", "--prefix",
                                            "HKEY_LOCAL_MACHINE\\Ravlin_System", hive.string(),
                                            (temp / "merge.reg").string()});
  ASSERT_EQ(merge.exitCode, 0) << merge.err;

  const std::string exported = ExportHive(hive);
  const auto section = [&](const std::string& key) {
    const std::string header = "[HKEY_LOCAL_MACHINE\\TEST\\" + key + "]\n";
    const std::size_t start = exported.find(header);
    if (start == std::string::npos) return std::string();
    return exported.substr(start, exported.find("\n\n", start) + 1 - start);
  };
  // hivexregedit shows every string as the bytes stored: UTF-16LE with the closing NUL.
  const auto stored = [](const std::string& name, int type, const std::string& text) {
    std::string hex = "\"" + name + "\"=hex(" + std::to_string(type) + "):";
    char byte[4];
    for (const char c : text) {
      std::snprintf(byte, sizeof byte, "%02x,", static_cast<unsigned char>(c));
      hex += std::string(byte) + "00,";
    }
    return hex + "00,00\n";
  };
  const std::string pciide = section("ControlSet003\\Services\\PCIIde");
  EXPECT_NE(pciide.find("\"Start\"=dword:00000000"), std::string::npos) << pciide;
  EXPECT_NE(pciide.find(stored("Group", 1, "System Bus Extender")), std::string::npos) << pciide;
  EXPECT_NE(pciide.find(stored("ImagePath", 2, "System32\\DRIVERS\\pciide.sys")), std::string::npos)
      << pciide;
  const std::string atapi = section("ControlSet003\\Services\\atapi");
  EXPECT_NE(atapi.find("\"Tag\"=dword:00000019"), std::string::npos) << atapi;
  EXPECT_NE(atapi.find(stored("DisplayName", 1, "Standard IDE/ESDI Hard Disk Controller")),
            std::string::npos)
      << atapi;
  const std::string classCode =
      section("ControlSet003\\Control\\CriticalDeviceDatabase\\pci#cc_0101");
  EXPECT_NE(classCode.find(stored("Service", 1, "pciide")), std::string::npos) << classCode;
  EXPECT_NE(classCode.find(stored("ClassGUID", 1, "{4D36E96A-E325-11CE-BFC1-08002BE10318}")),
            std::string::npos)
      << classCode;
}

}  // namespace
}  // namespace ravlin
