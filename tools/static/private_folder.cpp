#include "tools/static/private_folder.hpp"

#include <fstream>
#include <stdexcept>
#include <string>
#include <system_error>

#include "platform/posix/processes/launcher.hpp"
#include "tools/static/embedded_files.hpp"

namespace ravlin {

namespace fs = std::filesystem;

namespace {

void WriteWholeFile(const fs::path& file, std::span<const unsigned char> bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) throw std::runtime_error("cannot write " + file.string());
}

}  // namespace

PrivateProgramFolder::PrivateProgramFolder(const fs::path& executable, const fs::path& besideFolder)
    : path_(MakePrivateFolder("ravlin-static.")) {
  try {
    const fs::path required = path_ / "Ravlin_Required_Files";
    fs::create_directory(required);
    for (const auto& file : EmbeddedRequiredFiles())
      WriteWholeFile(required / file.name, file.bytes);
    std::error_code error;
    for (fs::directory_iterator entry(besideFolder / "Ravlin_Required_Files", error), end;
         !error && entry != end; entry.increment(error)) {
      if (entry->is_regular_file() && !fs::exists(required / entry->path().filename()))
        fs::copy_file(entry->path(), required / entry->path().filename());
    }
    fs::copy_file(executable, program());
    fs::permissions(program(), fs::perms::owner_all);
    fs::create_symlink("ravlin", path_ / "regedit");
  } catch (...) {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
    throw;
  }
}

PrivateProgramFolder::~PrivateProgramFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

}  // namespace ravlin
