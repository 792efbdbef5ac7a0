#pragma once

#include "platform/win32/runtime/windows_api.hpp"

namespace ravlin::virtdisk {

// The few VirtDisk.dll types Ravlin calls, in the layout Microsoft documents for virtdisk.h
// (Windows 7 and later). The build compiles against Windows XP's headers, which lack them.

struct StorageType {
  ULONG deviceId;
  GUID vendorId;
};
inline constexpr ULONG kDeviceVhd = 2;
inline constexpr ULONG kDeviceVhdx = 3;
inline constexpr GUID kVendorMicrosoft = {
    0xEC984AEC, 0xA0F9, 0x47e9, {0x90, 0x1F, 0x71, 0x41, 0x5A, 0x66, 0x34, 0x5B}};

// VIRTUAL_DISK_ACCESS_MASK: a version 1 open names what the handle may do.
inline constexpr DWORD kAccessNone = 0;
inline constexpr DWORD kAccessAttachReadOnly = 0x00010000;
inline constexpr DWORD kAccessAttachReadWrite = 0x00020000;
inline constexpr DWORD kAccessDetach = 0x00040000;
inline constexpr DWORD kAccessGetInfo = 0x00080000;

struct OpenVersion1 {
  ULONG rwDepth;
};
struct OpenVersion2 {
  BOOL getInfoOnly;
  BOOL readOnly;
  GUID resiliencyGuid;
};
struct OpenParameters {
  DWORD version;  // 1 for VHD (Windows 7), 2 for VHDX (Windows 8)
  union {
    OpenVersion1 version1;
    OpenVersion2 version2;
  };
};

// ATTACH_VIRTUAL_DISK_FLAG
inline constexpr DWORD kAttachReadOnly = 0x00000001;
inline constexpr DWORD kAttachNoDriveLetter = 0x00000002;

struct AttachParameters {
  DWORD version;  // 1
  ULONG reserved;
};

// GET_VIRTUAL_DISK_INFO_VERSION and the provider subtype of a differencing disk.
inline constexpr DWORD kInfoParentLocation = 3;
inline constexpr DWORD kInfoProviderSubtype = 7;
inline constexpr ULONG kSubtypeDifferencing = 4;

struct SizeInfo {
  ULONGLONG virtualSize;
  ULONGLONG physicalSize;
  ULONG blockSize;
  ULONG sectorSize;
};
struct ParentLocation {
  BOOL parentResolved;
  WCHAR parentLocationBuffer[1];  // the parent's path, as long as the answer is
};
struct DiskInfo {
  DWORD version;
  union {
    SizeInfo size;
    ParentLocation parentLocation;
    ULONG providerSubtype;
  };
};

using OpenVirtualDiskCall = DWORD(WINAPI*)(StorageType*, PCWSTR, DWORD, DWORD, OpenParameters*,
                                           HANDLE*);
using AttachVirtualDiskCall = DWORD(WINAPI*)(HANDLE, PSECURITY_DESCRIPTOR, DWORD, ULONG,
                                             AttachParameters*, LPOVERLAPPED);
using DetachVirtualDiskCall = DWORD(WINAPI*)(HANDLE, DWORD, ULONG);
using GetVirtualDiskPhysicalPathCall = DWORD(WINAPI*)(HANDLE, PULONG, PWSTR);
using GetVirtualDiskInformationCall = DWORD(WINAPI*)(HANDLE, PULONG, DiskInfo*, PULONG);

}  // namespace ravlin::virtdisk
