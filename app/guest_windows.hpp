#pragma once

#include <string>

#include "platform/hive_reader.hpp"

namespace ravlin {

// Which Windows the guest is, as far as its hives tell.
struct GuestWindows {
  enum class Family {
    kNt5,     // Windows 2000, XP or Server 2003: the repair's settings fit
    kOther,   // a later (or much older) Windows, whose fix for a board change differs
    kUnknown  // neither hive tells
  };
  Family family = Family::kUnknown;
  std::string description;  // for the record and the warning
};

// Reads the guest's SOFTWARE hive beside its SYSTEM hive, opened read-only: the value
// "CurrentVersion" of Microsoft\Windows NT\CurrentVersion (5.0, 5.1, 5.2). Where that hive is
// missing or unreadable, the SYSTEM hive's current control set tells by its volume driver:
// Windows 2000 to Server 2003 load ftdisk.sys, Vista and later replaced it by volmgr.sys.
GuestWindows IdentifyGuestWindows(HiveReader& reader, const std::string& guest);

// The name of the control set the guest boots, from Select\Current of its SYSTEM hive file
// (ControlSet001 when that is unreadable).
std::string CurrentControlSet(HiveReader& reader, const std::string& hive);

}  // namespace ravlin
