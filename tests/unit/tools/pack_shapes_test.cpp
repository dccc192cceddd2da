// Every shape of package the tool makes is signed, passes the updater's
// checks, and unpacks (with gcab, a decompressor of its own) to the files
// that went in.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "tool_fixtures.h"
#include "tools/verify_image.h"

namespace fs = std::filesystem;

namespace {
struct CZPackShape {
  const char* name;
  std::vector<CZBuiltFile> files;
  CZPackOptions pack;
  uint8_t placement;
};
void PrintTo(const CZPackShape& c, std::ostream* os) { *os << c.name; }
class PackShapeTest : public ::testing::TestWithParam<CZPackShape> {};

std::vector<CZBuiltFile> Content() {
  std::string big;
  for (int i = 0; big.size() < 100000; ++i)
    big += "line " + std::to_string(i * 7919 % 100003) + "\n";
  return {{"readme.txt", "read me first\r\n"},
          {"sub\\helper.dat", std::string(241, 'h')},
          {"big\\data.txt", big},
          {"zcomp.dll", "MZ not really a library\r\n"}};
}

std::vector<CZBuiltFile> ManySmallFiles() {
  std::vector<CZBuiltFile> files;
  for (int i = 0; i < 2000; ++i) {
    files.push_back({"many\\f" + std::to_string(i) + ".txt", "small file " + std::to_string(i)});
  }
  return files;
}

CZPackOptions Options(bool compress, size_t perFolder = 0, uint16_t header = 0, uint8_t folder = 0,
                      uint8_t block = 0) {
  CZPackOptions options;
  options.compress = compress;
  options.filesPerFolder = perFolder;
  options.headerReserve = header;
  options.folderReserve = folder;
  options.blockReserve = block;
  return options;
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
}  // namespace

TEST_P(PackShapeTest, SignsVerifiesAndUnpacksToTheSameFiles) {
  const CZPackShape& shape = GetParam();
  CZBytes cabinet = PackFiles(shape.files, shape.pack);
  ASSERT_FALSE(cabinet.empty());
  CZSignOptions sign;
  sign.placement = shape.placement;
  std::string reason;
  CZBytes image = SignBytes(cabinet, sign, &reason);
  ASSERT_FALSE(image.empty()) << reason;
  EXPECT_TRUE(VerifyImage(image, TestKey(), &reason)) << reason;

  if (std::system("command -v gcab >/dev/null 2>&1") != 0) GTEST_SKIP() << "no gcab";
  CZScratchFolder scratch;
  const std::string path = scratch.path() + "/image.qpk";
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(image.data()), image.size());
  const std::string out = scratch.path() + "/out";
  fs::create_directories(out);
  ASSERT_EQ(0, std::system(("gcab -x -C '" + out + "' '" + path + "' >/dev/null").c_str()));
  size_t found = 0;
  for (const auto& item : fs::recursive_directory_iterator(out)) found += item.is_regular_file();
  EXPECT_EQ(shape.files.size(), found);
  for (const CZBuiltFile& file : shape.files) {
    std::string relative = file.name;
    for (char& c : relative) c = c == '\\' ? '/' : c;
    EXPECT_EQ(file.content, ReadAll(fs::path(out) / relative)) << file.name;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, PackShapeTest,
    ::testing::Values(CZPackShape{"MszipPlacement0", Content(), Options(true), 0},
                      CZPackShape{"MszipPlacement1", Content(), Options(true), 1},
                      CZPackShape{"StoredPlacement0", Content(), Options(false), 0},
                      CZPackShape{"StoredPlacement1", Content(), Options(false), 1},
                      CZPackShape{"MszipFolderPerFile", Content(), Options(true, 1), 1},
                      CZPackShape{"StoredTwoFilesPerFolder", Content(), Options(false, 2), 0},
                      CZPackShape{"HeaderReserve", Content(), Options(true, 0, 64), 1},
                      CZPackShape{"HeaderReserveReused", Content(), Options(true, 0, 400), 0},
                      CZPackShape{"FolderAndBlockReserves", Content(), Options(true, 2, 16, 4, 8),
                                  0},
                      CZPackShape{"ManySmallFiles", ManySmallFiles(), Options(true, 700), 1},
                      CZPackShape{"EmptyFileAmongOthers",
                                  {{"a.txt", "first"}, {"empty.dat", ""}, {"z.txt", "last"}},
                                  Options(false),
                                  0},
                      CZPackShape{"OnlyAnEmptyFile", {{"empty.dat", ""}}, Options(true), 1}),
    [](const ::testing::TestParamInfo<CZPackShape>& info) { return std::string(info.param.name); });
