#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/inf_file.hpp"

namespace ravlin {

enum class GuestArchitecture { kX86, kAmd64 };

// A value an INF's AddReg line sets below its key (HKR), as a hive stores it: strings in
// UTF-16LE with their NUL, numbers little-endian. `keyOnly` lines make the subkey only.
struct InfRegistryValue {
  std::string subkey;  // below the key HKR stands for, "" for that key
  std::string name;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
  bool keyOnly = false;
  bool noClobber = false;
};

// The service a mass-storage driver's INF installs, from its service-install section.
struct InfService {
  std::string name;
  std::uint32_t type = 0;
  std::uint32_t start = 0;
  std::uint32_t errorControl = 0;
  std::string group;
  std::string displayName;
  // Where the file goes, relative to the Windows folder ("system32\DRIVERS\x.sys"), and where
  // it lies relative to the INF's folder ("i386\x.sys", from the source-disk sections).
  std::string imagePath;
  std::string sourcePath;
  std::vector<InfRegistryValue> values;
  // The event-log source, when the INF names one: Services\EventLog\<log>\<source>.
  std::string eventLog;
  std::string eventSource;
  std::vector<InfRegistryValue> eventLogValues;
};

struct InfDriver {
  std::string classGuid;
  InfService service;
  // Every hardware and compatible ID of the models installed by that service.
  std::vector<std::string> hardwareIds;
};

// What a driver INF installs for a guest of the given architecture: its models from
// [Manufacturer] (decorated models sections chosen for the architecture), their install
// sections (the most specific .NTx86 / .NTamd64 / .NT / plain form), one boot-start kernel
// driver service and its values. Throws InfError, saying why, for an INF that cannot be
// installed safely offline: no such models, no service or more than one, a service that does
// not start at boot, Include or Needs, co-installers, registry lines outside the service.
InfDriver ReadInfDriver(const InfFile& inf, GuestArchitecture architecture);

}  // namespace ravlin
