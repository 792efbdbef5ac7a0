#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/inf_driver.hpp"
#include "app/inf_file.hpp"
#include "app/txtsetup_oem.hpp"
#include "app/vendor_driver.hpp"
#include "platform/codepage.hpp"
#include "platform/registry.hpp"
#include "platform/text_bytes.hpp"
#include "tests/support/hive_files.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

using namespace ravlin::testing;
using Fields = std::vector<std::string>;

InfFile Parsed(std::string_view text) {
  return InfFile::Parse({reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

std::string TestInf(const std::string& name) {
  return ReadFile(TestDataDir() / "drivers" / "ravstor" / name);
}

std::string StringOf(const InfRegistryValue& value) {
  return Utf16ToAnsi(Utf16StringFromLe(value.data));
}

// The message an INF is refused with, or "" when it is read.
std::string Refusal(const std::string& text,
                    GuestArchitecture architecture = GuestArchitecture::kX86) {
  try {
    ReadInfDriver(Parsed(text), architecture);
    return {};
  } catch (const InfError& error) {
    return error.what();
  }
}

TEST(InfFile, ReadsTheSyntaxDriverInfsUse) {
  const std::string text =
      "; a comment before the first section\r\n"
      "[Version]\r\n"
      "Signature = \"$Windows NT$\"   ; comment after a value\r\n"
      "[Models]\r\n"
      "%Desc% = Install, PCI\\VEN_1&DEV_2, \\\r\n"
      "   PCI\\VEN_1&DEV_3 ; continued\r\n"
      "just, fields, \"quoted, with comma\", \"say \"\"hi\"\"; not a comment\"\r\n"
      "[models]\r\n"
      "Key = first\r\n"
      "key = second\r\n"
      "Percent = %%SystemRoot%%\\x, %Unknown%, 100%%\n"
      "[Strings]\r\n"
      "Desc = \"A device\"\r\n"
      "[Strings.0407]\r\n"
      "Desc = \"Ein Gerät\"\r\n"
      "Only = \"Nur hier\"\r\n"
      "[Other]\r\n"
      "Use = %only%\r\n";
  const InfFile inf = Parsed(text);

  EXPECT_EQ(inf.Value("VERSION", "signature"), "$Windows NT$");
  const auto& models = inf.Section("Models");
  ASSERT_EQ(models.size(), 5u) << "sections of one name are joined";
  EXPECT_EQ(models[0].key, "A device");
  EXPECT_EQ(models[0].fields, (Fields{"Install", "PCI\\VEN_1&DEV_2", "PCI\\VEN_1&DEV_3"}));
  EXPECT_EQ(models[0].lineNumber, 5u);
  EXPECT_FALSE(models[1].key.has_value());
  EXPECT_EQ(models[1].fields,
            (Fields{"just", "fields", "quoted, with comma", "say \"hi\"; not a comment"}));
  EXPECT_EQ(models[1].lineNumber, 7u);
  EXPECT_EQ(inf.Value("Models", "KEY"), "first");
  EXPECT_EQ(inf.Lines("Models", "key").size(), 2u);
  EXPECT_EQ(inf.Values("Models", "Percent"), (Fields{"%SystemRoot%\\x", "%Unknown%", "100%"}));
  EXPECT_EQ(inf.Value("Other", "Use"), "Nur hier") << "a language's strings fill in";
  EXPECT_FALSE(inf.HasSection("Missing"));
  EXPECT_TRUE(inf.Section("Missing").empty());

  // The same file in UTF-16LE and in UTF-8 with their byte order marks reads the same.
  const std::u16string wide = Utf8ToUtf16(text);
  std::vector<std::uint8_t> utf16{0xFF, 0xFE};
  for (const std::uint8_t byte : Utf16ToLe(wide)) utf16.push_back(byte);
  const InfFile fromUtf16 = InfFile::Parse(utf16);
  EXPECT_EQ(fromUtf16.Section("Models")[1].fields, models[1].fields);
  EXPECT_EQ(fromUtf16.Value("Other", "Use"), "Nur hier");
  const InfFile fromUtf8 = Parsed("\xEF\xBB\xBF" + text);
  EXPECT_EQ(fromUtf8.Value("Version", "Signature"), "$Windows NT$");
}

TEST(InfFile, RefusesWhatNoInfHolds) {
  const auto error = [](const std::string& text) {
    try {
      Parsed(text);
      return std::string();
    } catch (const InfError& refused) {
      return std::string(refused.what());
    }
  };
  EXPECT_EQ(error("Signature = x\r\n[Version]\r\n"), "line 1 is outside any section");
  EXPECT_EQ(error("[Version]\r\n[Strings\r\n"), "line 2: the section name has no ]");
  EXPECT_EQ(error("[Version]\r\nx = " + std::string(5000, 'a') + "\r\n"),
            "line 2 is longer than 4096 characters");
  // A line continued without end stays one line, and is measured as one.
  EXPECT_EQ(error("[Version]\r\n" + std::string(3000, 'b') + "\\\r\n" + std::string(3000, 'c')),
            "line 2 is longer than 4096 characters");
  EXPECT_EQ(InfNumber("0x1F"), 31u);
  EXPECT_EQ(InfNumber("12"), 12u);
  EXPECT_FALSE(InfNumber("1x"));
  EXPECT_FALSE(InfNumber("0x"));
}

TEST(InfDriver, ReadsTheBootServiceOfAStorageInf) {
  const InfDriver driver = ReadInfDriver(Parsed(TestInf("ravstor.inf")), GuestArchitecture::kX86);

  EXPECT_EQ(driver.classGuid, "{4D36E97B-E325-11CE-BFC1-08002BE10318}");
  // NTx86 is chosen over the undecorated models, and NTx86.6.0 is for later Windows.
  EXPECT_EQ(driver.hardwareIds,
            (Fields{"PCI\\VEN_8086&DEV_2922&CC_0106", "PCI\\VEN_8086&DEV_2922&SUBSYS_82D41043",
                    "PCI\\VEN_1AF4&DEV_1001"}));
  const InfService& service = driver.service;
  EXPECT_EQ(service.name, "ravstor");
  EXPECT_EQ(service.type, 1u);
  EXPECT_EQ(service.start, 0u);
  EXPECT_EQ(service.errorControl, 1u);
  EXPECT_EQ(service.group, "SCSI Miniport");
  EXPECT_EQ(service.displayName, "Ravlin test storage driver");
  EXPECT_EQ(service.imagePath, "system32\\DRIVERS\\ravstor.sys");
  EXPECT_EQ(service.sourcePath, "i386\\ravstor.sys");

  ASSERT_EQ(service.values.size(), 6u);
  EXPECT_EQ(service.values[0].type, kRegDword);
  EXPECT_EQ(service.values[0].data, (std::vector<std::uint8_t>{1, 0, 0, 0}));
  EXPECT_EQ(service.values[2].type, kRegSz);
  EXPECT_EQ(StringOf(service.values[2]), "Queue=32;\"fast\"");
  EXPECT_EQ(service.values[3].type, kRegExpandSz);
  EXPECT_EQ(StringOf(service.values[3]), "%SystemRoot%\\ravstor.log");
  EXPECT_EQ(service.values[4].type, kRegMultiSz);
  EXPECT_EQ(service.values[4].data, Utf16ToLe(std::u16string(u"first\0second\0\0", 14)));
  EXPECT_EQ(service.values[5].type, kRegBinary);
  EXPECT_EQ(service.values[5].data, (std::vector<std::uint8_t>{0x52, 0x61, 0x76}));

  EXPECT_EQ(service.eventLog, "System");
  EXPECT_EQ(service.eventSource, "ravstor");
  ASSERT_EQ(service.eventLogValues.size(), 2u);
  EXPECT_EQ(service.eventLogValues[1].data, (std::vector<std::uint8_t>{7, 0, 0, 0}));

  // A 64-bit guest takes the NTamd64 models and the undecorated install section.
  const InfDriver amd64 = ReadInfDriver(Parsed(TestInf("ravstor.inf")), GuestArchitecture::kAmd64);
  EXPECT_EQ(amd64.hardwareIds, (Fields{"PCI\\VEN_8086&DEV_2922&CC_0106"}));
  EXPECT_EQ(amd64.service.name, "ravstor");
}

TEST(InfDriver, RefusesWhatCannotBeInstalledSafelyOffline) {
  const std::string inf = TestInf("ravstor.inf");
  const auto changed = [&](const std::string& from, const std::string& to) {
    std::string text = inf;
    const auto at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  EXPECT_EQ(Refusal(inf), "");
  EXPECT_NE(Refusal(changed("StartType      = 0", "StartType      = 3")).find("starts at boot"),
            std::string::npos);
  EXPECT_NE(Refusal(changed("[RavInstall.NTx86.Services]\n",
                            "[RavInstall.NTx86.Services]\nAddService = helper, 0, RavService\n"))
                .find("more than one service"),
            std::string::npos);
  EXPECT_NE(Refusal(changed("AddService = ravstor, 0x00000002, RavService, RavEventLog\n\n"
                            "[RavInstall.Services]",
                            "\n[RavInstall.Services]"))
                .find("no service"),
            std::string::npos);
  EXPECT_NE(Refusal(changed("[RavInstall.NTx86]\n", "[RavInstall.NTx86]\nNeeds = Storage\n"))
                .find("other INF files (Needs = Storage)"),
            std::string::npos);
  // Without a decoration for XP x86, the undecorated models are XP's; a later one is not.
  EXPECT_EQ(ReadInfDriver(Parsed(changed("NTx86, NTamd64, NTx86.6.0", "NTamd64, NTx86.6")),
                          GuestArchitecture::kX86)
                .hardwareIds,
            (Fields{"PCI\\VEN_8086&DEV_2922&CC_0106"}));
  EXPECT_NE(Refusal(changed("[RavFiles]",
                            "[RavInstall.NTx86.CoInstallers]\nAddReg = X\n"
                            "[RavFiles]"))
                .find("co-installers"),
            std::string::npos);
  EXPECT_NE(Refusal(changed("HKR, \"Parameters\", \"BusType\"", "HKLM, \"Software\", \"BusType\""))
                .find("outside the service's own key"),
            std::string::npos);
  EXPECT_NE(Refusal(changed("%12%\\ravstor.sys", "%12%\\..\\ravstor.sys")).find("ServiceBinary"),
            std::string::npos);
  EXPECT_NE(Refusal(changed("%12%\\ravstor.sys", "%17%\\ravstor.sys")).find("10, 11, 12"),
            std::string::npos);
  EXPECT_NE(Refusal(changed(", , \\i386", ", , \\..\\..\\etc")).find("leads out"),
            std::string::npos);
  EXPECT_NE(Refusal(changed("$Windows NT$", "$Windows 95$")).find("no driver INF"),
            std::string::npos);
  EXPECT_NE(Refusal(changed("NTx86, NTamd64, NTx86.6.0", "NTx86"), GuestArchitecture::kAmd64)
                .find("no models for 64-bit"),
            std::string::npos);
}

TEST(TxtsetupOem, ReadsTheComponentsOfAnF6Floppy) {
  const TxtsetupOem oem = ReadTxtsetupOem(Parsed(TestInf("txtsetup.oem")));
  EXPECT_EQ(oem.defaultComponent, "RAVSTOR_AHCI");
  ASSERT_EQ(oem.components.size(), 2u);
  const TxtsetupComponent& ahci = oem.components[0];
  EXPECT_EQ(ahci.id, "RAVSTOR_AHCI");
  EXPECT_EQ(ahci.description, "Ravlin test SATA AHCI controller");
  EXPECT_EQ(ahci.driverFile, "ravstor.sys");
  EXPECT_EQ(ahci.folder, "i386");
  EXPECT_EQ(ahci.service, "ravstor");
  EXPECT_EQ(ahci.infFile, "ravstor.inf");
  ASSERT_EQ(ahci.hardwareIds.size(), 2u);
  EXPECT_EQ(ahci.hardwareIds[1].id, "PCI\\VEN_8086&DEV_2829&CC_0106");
  EXPECT_EQ(ahci.hardwareIds[1].service, "ravstor");
  EXPECT_EQ(oem.components[1].hardwareIds.at(0).id, "PCI\\VEN_1AF4&DEV_1001");

  const auto refusal = [](const std::string& text) {
    try {
      ReadTxtsetupOem(Parsed(text));
      return std::string();
    } catch (const InfError& error) {
      return std::string(error.what());
    }
  };
  EXPECT_EQ(refusal("[Disks]\nd1 = x, y, \\\n"), "it lists no SCSI component ([scsi])");
  EXPECT_EQ(refusal("[scsi]\nA = \"a\"\n[Files.scsi.A]\ndriver = d1, ..\\evil.sys, a\n"),
            "the component A names no driver file");
  EXPECT_EQ(refusal("[Disks]\nd1 = x, y, \\..\\up\n[scsi]\nA = a\n[Files.scsi.A]\n"
                    "driver = d1, a.sys, a\n"),
            "the disk d1 lies outside the driver's folder");
}

TEST(GroupOrderList, ANewTagFollowsTheGroupsTagsAndIsListedOnce) {
  const std::vector<std::uint8_t> none;
  EXPECT_EQ(NewGroupTag(none), 1u);
  EXPECT_EQ(GroupOrderWithTag(none, 1), (std::vector<std::uint8_t>{1, 0, 0, 0, 1, 0, 0, 0}));
  // Count 2 with tags 5 and 3, and a stray byte after them.
  const std::vector<std::uint8_t> list = {2, 0, 0, 0, 5, 0, 0, 0, 3, 0, 0, 0, 9};
  EXPECT_EQ(NewGroupTag(list), 6u);
  EXPECT_TRUE(GroupOrderHasTag(list, 3));
  EXPECT_FALSE(GroupOrderHasTag(list, 9));
  EXPECT_EQ(GroupOrderWithTag(list, 3), std::vector<std::uint8_t>(list.begin(), list.end() - 1));
  EXPECT_EQ(GroupOrderWithTag(list, 6),
            (std::vector<std::uint8_t>{3, 0, 0, 0, 5, 0, 0, 0, 3, 0, 0, 0, 6, 0, 0, 0}));
  // A count larger than the data is read as far as the data go.
  const std::vector<std::uint8_t> damaged = {9, 0, 0, 0, 4, 0, 0, 0, 1};
  EXPECT_EQ(NewGroupTag(damaged), 5u);
  EXPECT_EQ(GroupOrderWithTag(damaged, 5),
            (std::vector<std::uint8_t>{2, 0, 0, 0, 4, 0, 0, 0, 5, 0, 0, 0}));
}

}  // namespace
}  // namespace ravlin
