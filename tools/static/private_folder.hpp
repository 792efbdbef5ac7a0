// The private program folder of the static program: a fresh folder below the temporary
// directory that holds a copy of the program, the importer name beside it and
// Ravlin_Required_Files, so that the repair finds everything where the installed program
// finds it. The folder is removed with its owner.
#pragma once

#include <filesystem>

namespace ravlin {

class PrivateProgramFolder {
 public:
  // Makes the folder (mode 0700) and fills it: the embedded required files first, then any
  // other file of `besideFolder`/Ravlin_Required_Files (the driver files a technician put
  // beside the program), then the program `executable` as "ravlin" and "regedit" linked to it.
  PrivateProgramFolder(const std::filesystem::path& executable,
                       const std::filesystem::path& besideFolder);
  ~PrivateProgramFolder();
  PrivateProgramFolder(const PrivateProgramFolder&) = delete;
  PrivateProgramFolder& operator=(const PrivateProgramFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path program() const { return path_ / "ravlin"; }

 private:
  std::filesystem::path path_;
};

}  // namespace ravlin
