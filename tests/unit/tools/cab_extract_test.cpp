// The tool reads a stored file back out of the cabinets zpkg makes, stored
// and MSZIP, across blocks and folders, and says why when it cannot.
#include <gtest/gtest.h>

#include "tool_fixtures.h"
#include "tools/cab_extract.h"

namespace {
std::string Pattern(size_t size, unsigned seed) {
  std::string text(size, '\0');
  for (size_t i = 0; i < size; ++i) text[i] = static_cast<char>((i * 7 + seed * 13 + i / 97) % 251);
  return text;
}

const std::vector<CZBuiltFile> kFiles = {{"first.txt", "first file\r\n"},
                                         {"sub\\big.bin", Pattern(100000, 1)},
                                         {"Zcomp.DLL", Pattern(40000, 2)},
                                         {"empty.dat", ""}};

TEST(CabExtractTest, EveryFileComesBackByteForByte) {
  CZPackOptions mszip, stored, folders;
  stored.compress = false;
  folders.filesPerFolder = 1;
  for (const CZPackOptions& options : {mszip, stored, folders}) {
    CZCabImage image;
    std::string reason;
    ASSERT_TRUE(ParseCabImage(PackFiles(kFiles, options), &image, &reason)) << reason;
    for (const CZBuiltFile& file : kFiles) {
      CZBytes contents;
      ASSERT_TRUE(ExtractCabFile(image, file.name, &contents, &reason)) << file.name << reason;
      EXPECT_TRUE(std::string(contents.begin(), contents.end()) == file.content) << file.name;
    }
    CZBytes contents;
    EXPECT_TRUE(ExtractCabFile(image, "zcomp.dll", &contents, &reason)) << "names match in any case";
  }
}

TEST(CabExtractTest, SaysWhyItCannot) {
  CZCabImage image;
  std::string reason;
  ASSERT_TRUE(ParseCabImage(PackFiles(kFiles, CZPackOptions()), &image, &reason)) << reason;
  CZBytes contents;
  EXPECT_FALSE(ExtractCabFile(image, "missing.dll", &contents, &reason));
  EXPECT_EQ("holds no file named missing.dll", reason);

  // The compressed data of the first block damaged: no garbage comes back.
  CZCabImage damaged = image;
  const size_t data = damaged.folders[0].dataOffset + 8;
  for (size_t i = 2; i < 40; ++i) damaged.bytes[data + i] ^= 0x5A;
  EXPECT_FALSE(ExtractCabFile(damaged, "sub\\big.bin", &contents, &reason));
  EXPECT_NE(std::string::npos, reason.find("does not decompress")) << reason;

  CZCabImage other = image;
  other.folders[0].compression = 3;  // LZX
  EXPECT_FALSE(ExtractCabFile(other, "first.txt", &contents, &reason));
  EXPECT_NE(std::string::npos, reason.find("method this tool does not read")) << reason;
}
}  // namespace
