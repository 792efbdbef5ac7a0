#include "platform/pe_version.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/posix/files/drive_table.hpp"
#include "platform/posix/files/posix_file_service.hpp"
#include "tests/support/temp_dir.hpp"

namespace ravlin {
namespace {

using Image = std::vector<std::uint8_t>;

void Put16(Image& image, std::size_t at, std::uint16_t value) {
  image[at] = static_cast<std::uint8_t>(value);
  image[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void Put32(Image& image, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) image[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

struct Layout {
  bool pe32Plus = false;
  bool withVersion = true;
};

constexpr std::size_t kPeHeader = 0x40;
constexpr std::size_t kOptionalHeader = kPeHeader + 24;
constexpr std::size_t kResourceFileOffset = 0x200;
constexpr std::uint32_t kResourceRva = 0x1000;
constexpr std::size_t kVersionInfo = 0x58;  // within the resource section
constexpr std::size_t kVersionLength = 92;

// A minimal PE image: headers, one ".rsrc" section and, if asked, a version resource of
// file version 5.1.2600.5512 (type 16, name 1, language 0x409).
Image BuildImage(const Layout& layout) {
  const std::size_t optionalSize = layout.pe32Plus ? 240 : 224;
  const std::size_t resourceSize = kVersionInfo + kVersionLength;
  Image image(kResourceFileOffset + resourceSize, 0);
  image[0] = 'M';
  image[1] = 'Z';
  Put32(image, 0x3C, kPeHeader);
  Put32(image, kPeHeader, 0x00004550);
  Put16(image, kPeHeader + 4, layout.pe32Plus ? 0x8664 : 0x14C);
  Put16(image, kPeHeader + 6, 1);
  Put16(image, kPeHeader + 20, static_cast<std::uint16_t>(optionalSize));
  Put16(image, kOptionalHeader, layout.pe32Plus ? 0x20B : 0x10B);
  const std::size_t directories = kOptionalHeader + (layout.pe32Plus ? 112 : 96);
  Put32(image, directories - 4, 16);
  if (layout.withVersion) {
    Put32(image, directories + 2 * 8, kResourceRva);
    Put32(image, directories + 2 * 8 + 4, static_cast<std::uint32_t>(resourceSize));
  }
  const std::size_t section = kOptionalHeader + optionalSize;
  image[section] = '.';
  image[section + 1] = 'r';
  Put32(image, section + 8, static_cast<std::uint32_t>(resourceSize));
  Put32(image, section + 12, kResourceRva);
  Put32(image, section + 16, static_cast<std::uint32_t>(resourceSize));
  Put32(image, section + 20, kResourceFileOffset);

  const std::size_t r = kResourceFileOffset;
  // Type directory: RT_VERSION -> name directory at 0x18.
  Put16(image, r + 14, 1);
  Put32(image, r + 16, 16);
  Put32(image, r + 20, 0x80000000u | 0x18);
  // Name directory: 1 -> language directory at 0x30.
  Put16(image, r + 0x18 + 14, 1);
  Put32(image, r + 0x18 + 16, 1);
  Put32(image, r + 0x18 + 20, 0x80000000u | 0x30);
  // Language directory: 0x409 -> data entry at 0x48.
  Put16(image, r + 0x30 + 14, 1);
  Put32(image, r + 0x30 + 16, 0x409);
  Put32(image, r + 0x30 + 20, 0x48);
  Put32(image, r + 0x48, kResourceRva + kVersionInfo);
  Put32(image, r + 0x48 + 4, kVersionLength);
  // VS_VERSIONINFO with its fixed part.
  const std::size_t v = r + kVersionInfo;
  Put16(image, v, kVersionLength);
  Put16(image, v + 2, 52);
  const char16_t key[] = u"VS_VERSION_INFO";
  for (std::size_t i = 0; i < 16; ++i) Put16(image, v + 6 + 2 * i, key[i]);
  Put32(image, v + 40, 0xFEEF04BD);
  Put32(image, v + 44, 0x00010000);
  Put32(image, v + 48, (5u << 16) | 1);
  Put32(image, v + 52, (2600u << 16) | 5512);
  return image;
}

TEST(PeVersionTest, ReadsTheFixedFileVersion) {
  EXPECT_EQ(PeFileVersion(BuildImage({})), "5.1.2600.5512");
  EXPECT_EQ(PeFileVersion(BuildImage({.pe32Plus = true})), "5.1.2600.5512");
}

TEST(PeVersionTest, NoResourceOrNoPeGivesEmpty) {
  EXPECT_EQ(PeFileVersion(BuildImage({.withVersion = false})), "");
  EXPECT_EQ(PeFileVersion({}), "");
  const std::string text = "MZ this is only text, long enough to hold a header offset......";
  EXPECT_EQ(
      PeFileVersion(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size())),
      "");
  Image wrongSignature = BuildImage({});
  Put32(wrongSignature, kResourceFileOffset + kVersionInfo + 40, 0x12345678);
  EXPECT_EQ(PeFileVersion(wrongSignature), "");
}

TEST(PeVersionTest, EveryTruncationGivesEmpty) {
  const Image full = BuildImage({});
  for (std::size_t length = 0; length < full.size(); ++length)
    ASSERT_EQ(PeFileVersion(std::span(full.data(), length)), "") << "length " << length;
}

TEST(PeVersionTest, HostileOffsetsAndCountsGiveEmpty) {
  const auto with = [](const std::function<void(Image&)>& change) {
    Image image = BuildImage({});
    change(image);
    return PeFileVersion(image);
  };
  EXPECT_EQ(with([](Image& i) { Put32(i, 0x3C, 0xFFFFFFF0); }), "");
  EXPECT_EQ(with([](Image& i) { Put16(i, kPeHeader + 20, 0xFFFF); }), "");
  const std::size_t section = kOptionalHeader + 224;
  EXPECT_EQ(with([&](Image& i) { Put32(i, section + 20, 0xFFFFFF00); }), "");
  EXPECT_EQ(with([&](Image& i) { Put32(i, section + 16, 0x10); }), "");
  EXPECT_EQ(with([&](Image& i) { Put16(i, kPeHeader + 6, 0xFFFF); }), "5.1.2600.5512");
  // A directory claiming 65,535 entries, one pointing back to the root, a data entry far out.
  EXPECT_EQ(with([](Image& i) { Put16(i, kResourceFileOffset + 14, 0xFFFF); }), "5.1.2600.5512");
  EXPECT_EQ(with([](Image& i) { Put32(i, kResourceFileOffset + 0x18 + 20, 0x80000000u); }), "");
  EXPECT_EQ(with([](Image& i) { Put32(i, kResourceFileOffset + 0x48, 0xFFFFFFF0); }), "");
  EXPECT_EQ(with([](Image& i) { Put32(i, kResourceFileOffset + 0x48 + 4, 0xFFFFFFFF); }), "");
  EXPECT_EQ(with([](Image& i) { Put16(i, kResourceFileOffset + kVersionInfo, 0xFFFF); }), "");
}

TEST(PeVersionTest, FileServiceReadsTheVersionOfAFile) {
  testing::TempDir temp;
  const Image image = BuildImage({});
  testing::WriteFile(temp / "atapi.sys", std::string(image.begin(), image.end()));
  PosixFileService files(std::make_shared<const DriveTable>("C=" + temp.path().string()));
  EXPECT_EQ(files.GetFileVersion("C:\\ATAPI.SYS"), "5.1.2600.5512");
}

}  // namespace
}  // namespace ravlin
