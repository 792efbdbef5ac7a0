#include "app/driver_sources.hpp"

#include <array>
#include <functional>

#include "app/form1.hpp"
#include "app/scratch_folder.hpp"
#include "platform/pe_version.hpp"
#include "platform/runtime_error.hpp"

namespace ravlin {
namespace {

// Newest service pack first: its driver is the one the guest's other files expect.
constexpr std::array<std::string_view, 4> kDriverCabinets = {"sp3.cab", "sp2.cab", "sp1.cab",
                                                             "driver.cab"};

struct Probe {
  std::string source;
  std::function<CabinetRead()> read;
};

// A plain copy; below the guest it is read beneath the guest folder, so that a link leading
// out of it is skipped, as is anything but a regular file.
CabinetRead ReadPlainFile(FileService& files, const std::string& path) {
  try {
    if (!files.FileExists(path)) return {};
    const FilePart content =
        files.ReadFilePart(path, 0, static_cast<std::size_t>(kLargestDriverFile));
    if (content.fileSize > kLargestDriverFile)
      return {CabinetRead::Outcome::kDamaged, {}, "too large for a driver"};
    return {CabinetRead::Outcome::kExtracted, {content.bytes.begin(), content.bytes.end()}, {}};
  } catch (const RuntimeError& error) {
    return {CabinetRead::Outcome::kDamaged, {}, "cannot be read: " + error.Description()};
  }
}

// An installation CD's name for the compressed file: the last letter becomes "_".
std::string CompressedName(std::string_view driverFile) {
  std::string name(driverFile);
  if (!name.empty()) name.back() = '_';
  return name;
}

std::vector<Probe> ProbesFor(Platform& platform, const std::string& guest,
                             std::string_view driverFile, const std::string& installationSource) {
  const std::string name(driverFile);
  FileService& files = *platform.files;
  Cabinets& cabinets = *platform.cabinets;
  const auto plain = [&files](std::string path) {
    return Probe{path, [&files, path] { return ReadPlainFile(files, path); }};
  };
  const auto member = [&cabinets, name](std::string cabinet) {
    return Probe{cabinet,
                 [&cabinets, cabinet, name] { return cabinets.ReadMember(cabinet, name); }};
  };

  std::vector<Probe> probes{plain(guest + "\\ServicePackFiles\\i386\\" + name)};
  for (const std::string_view cabinet : kDriverCabinets)
    probes.push_back(member(guest + "\\Driver Cache\\i386\\" + std::string(cabinet)));
  probes.push_back(plain(guest + "\\system32\\dllcache\\" + name));
  if (!installationSource.empty()) {
    probes.push_back(plain(installationSource + "\\" + name));
    const std::string compressed = installationSource + "\\" + CompressedName(driverFile);
    probes.push_back(
        {compressed, [&cabinets, compressed] { return cabinets.ExpandFile(compressed); }});
    probes.push_back(member(installationSource + "\\driver.cab"));
  }
  return probes;
}

}  // namespace

DriverSearch FindDriverCopy(Platform& platform, const std::string& guest,
                            std::string_view driverFile, const std::string& installationSource) {
  DriverSearch search;
  const std::string name(driverFile);
  for (const Probe& probe : ProbesFor(platform, guest, driverFile, installationSource)) {
    CabinetRead read = probe.read();
    if (read.outcome == CabinetRead::Outcome::kMissing) continue;
    if (read.outcome == CabinetRead::Outcome::kDamaged) {
      search.skipped.push_back("Driver " + name + ": skipped " + probe.source + " (" + read.reason +
                               ")");
      continue;
    }
    if (!PeIsDriverImage(read.bytes)) {
      search.skipped.push_back("Driver " + name + ": skipped " + probe.source +
                               " (not a driver image)");
      continue;
    }
    search.found = DriverCandidate{probe.source, std::move(read.bytes)};
    break;
  }
  return search;
}

void Form1::SetInstallationSource(const std::filesystem::path& folder) {
  installationSource_ = platform_.drives->ToDrivePath(folder);
  // The search appends "\name"; a drive root keeps no trailing backslash.
  while (!installationSource_.empty() && installationSource_.back() == '\\')
    installationSource_.pop_back();
}

bool Form1::CopyDriverFile(std::string_view driverFile, const std::string& targetFolder) {
  const std::string name(driverFile);
  const std::string shipped = RequiredFilePath(platform_.environment->ProgramFolder(), name);
  const auto copied = [&](const std::string& source, const std::string& from) {
    // On record before the copy takes its name, so that an undo after any interruption
    // finds it; a copy that cannot be recorded is not made.
    record_.Add("Driver " + name + std::string(kDriverCopiedLabel) + from + ", " +
                FileSummary(source));
    const bool done = SaveRecord() && FSO().Copy_File(source, targetFolder);
    if (done)
      copiedDrivers_.push_back(targetFolder + name);
    else
      record_.Add("Driver " + name + ": could not be copied from " + from);
    return done;
  };
  if (FSO().File_Exist(shipped)) return copied(shipped, shipped);

  DriverSearch search =
      FindDriverCopy(platform_, Text(ControlId::Text1), driverFile, installationSource_);
  for (std::string& line : search.skipped) record_.Add(std::move(line));
  if (!search.found) {
    // Without any copy the shipped file's copy fails with the copy routine's own message.
    record_.Add("Driver " + name + ": no copy found in the guest or the installation source");
    return FSO().Copy_File(shipped, targetFolder);
  }
  try {
    // The bytes checked are the bytes copied: they go through a file of the driver's own
    // name outside the guest, so that the copy keeps the usual rules.
    const ScratchFolder scratch(platform_);
    const std::string staged = scratch / name;
    platform_.files->WriteText(
        staged, std::string(search.found->bytes.begin(), search.found->bytes.end()), false);
    return copied(staged, search.found->source);
  } catch (const RuntimeError& error) {
    record_.Add("Driver " + name + ": cannot stage the copy from " + search.found->source + " (" +
                error.Description() + ")");
    return false;
  }
}

}  // namespace ravlin
