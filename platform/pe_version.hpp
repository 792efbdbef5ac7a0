#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace ravlin {

// The file version of a PE image (.exe, .dll, .sys) from the fixed part of its version
// resource, as "major.minor.build.revision" ("5.1.2600.0"); "" when the bytes are no PE image
// or hold no version resource. Every read is checked against the bytes given, so truncated
// or malicious images give "" and never a read outside them.
std::string PeFileVersion(std::span<const std::uint8_t> image);

// True for a PE executable image of the native subsystem, the form of a kernel-mode driver
// (.sys): headers complete, executable, subsystem 1. Bounds-checked like PeFileVersion.
bool PeIsDriverImage(std::span<const std::uint8_t> image);

// The machine a PE image is built for (0x014C x86, 0x8664 x64); nothing for no PE image.
std::optional<std::uint16_t> PeMachine(std::span<const std::uint8_t> image);

}  // namespace ravlin
