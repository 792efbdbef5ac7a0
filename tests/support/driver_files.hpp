#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace ravlin::testing {

// A minimal PE image of a kernel-mode driver (native subsystem) that carries `tag` in its
// body, so that a test can tell which copy arrived; with `native` false, a Windows program.
std::string DriverImage(const std::string& tag, bool native = true);

// Makes a cabinet with gcab holding the given files (name -> content), compressed with
// MSZIP unless `compress` is false.
void MakeCabinet(const std::filesystem::path& cabinet,
                 const std::map<std::string, std::string>& files, bool compress = true);

// The four IDE driver names.
inline const std::string kIdeDrivers[] = {"atapi.sys", "intelide.sys", "pciide.sys", "pciidex.sys"};

}  // namespace ravlin::testing
