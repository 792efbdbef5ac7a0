#include "app/txtsetup_oem.hpp"

#include "platform/text_bytes.hpp"

namespace ravlin {
namespace {

std::string Field(const std::vector<std::string>& fields, std::size_t i) {
  return i < fields.size() ? fields[i] : std::string();
}

// A folder of the floppy as [Disks] names it ("\", "\i386"), relative to its root.
std::string DiskFolder(const InfFile& oem, const std::string& disk) {
  const auto folder =
      FolderBelow(Field(oem.Values("Disks", disk).value_or(std::vector<std::string>{}), 2));
  if (!folder) throw InfError("the disk " + disk + " lies outside the driver's folder");
  return *folder;
}

}  // namespace

TxtsetupOem ReadTxtsetupOem(const InfFile& oem) {
  TxtsetupOem result;
  result.defaultComponent = oem.Value("Defaults", "scsi");
  for (const InfLine& line : oem.Section("scsi")) {
    if (!line.key) continue;
    TxtsetupComponent component;
    component.id = *line.key;
    component.description = Field(line.fields, 0);
    const std::string files = "Files.scsi." + component.id;
    if (const auto driver = oem.Values(files, "driver")) {
      component.folder = DiskFolder(oem, Field(*driver, 0));
      component.driverFile = Field(*driver, 1);
      component.service = Field(*driver, 2);
    }
    component.infFile = Field(oem.Values(files, "inf").value_or(std::vector<std::string>{}), 1);
    for (const InfLine* id : oem.Lines("HardwareIds.scsi." + component.id, "id"))
      if (!Field(id->fields, 0).empty())
        component.hardwareIds.push_back({Field(id->fields, 0), Field(id->fields, 1)});
    if (component.driverFile.empty() ||
        component.driverFile.find_first_of("\\/:") != std::string::npos)
      throw InfError("the component " + component.id + " names no driver file");
    result.components.push_back(std::move(component));
  }
  if (result.components.empty()) throw InfError("it lists no SCSI component ([scsi])");
  return result;
}

}  // namespace ravlin
