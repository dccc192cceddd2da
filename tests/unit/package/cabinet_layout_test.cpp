// The layout rules on cabinets made byte by byte: every shape a packer makes
// passes, and each way of making the decompressor read outside the signed
// region, or read it otherwise than it was packed, is refused with its reason.
#include "package/cabinet_layout.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "cabinet_builder.h"
#include "tools/memory_source.h"

namespace {
std::string Fault(const CZBytes& bytes) {
  CZMemorySource source(bytes);
  std::string fault;
  return CheckCabinetLayout(source, &fault) ? "" : fault;
}

std::vector<CZBuiltFile> ThreeFiles() {
  return {{"readme.txt", "read me first\r\n"},
          {"sub\\helper.dat", std::string(300, 'h')},
          {"zcomp.dll", std::string(5000, 'z')}};
}

struct CZShape {
  const char* name;
  std::function<void(CZCabinetShape*)> adjust;
};
void PrintTo(const CZShape& c, std::ostream* os) { *os << c.name; }
class LayoutShapeTest : public ::testing::TestWithParam<CZShape> {};

struct CZFaultCase {
  const char* name;
  std::function<void(CZCabinetShape*)> adjust;  // the cabinet to start from
  std::function<void(CZBytes*, const CZCabinetMap&)> spoil;
  const char* fault;
};
void PrintTo(const CZFaultCase& c, std::ostream* os) { *os << c.name; }
class LayoutFaultTest : public ::testing::TestWithParam<CZFaultCase> {};

void Nothing(CZCabinetShape*) {}
void Mszip(CZCabinetShape* s) { s->compression = 1; }
void SmallBlocks(CZCabinetShape* s) { s->blockSize = 1000; }
void ThreeFolders(CZCabinetShape* s) {
  s->filesPerFolder = 1;
  s->blockSize = 1000;
}
void AllReserves(CZCabinetShape* s) {
  s->filesPerFolder = 2;
  s->blockSize = 1000;
  s->headerReserve = 20;
  s->folderReserve = 3;
  s->blockReserve = 5;
}
size_t Folder(const CZCabinetMap& m, size_t i) { return m.foldersStart + i * m.folderEntrySize; }
}  // namespace

TEST_P(LayoutShapeTest, IsAccepted) {
  CZCabinetShape shape;
  shape.files = ThreeFiles();
  GetParam().adjust(&shape);
  EXPECT_EQ("", Fault(BuildCabinet(shape)));
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, LayoutShapeTest,
    ::testing::Values(
        CZShape{"StoredOneBlock", Nothing}, CZShape{"MszipOneBlock", Mszip},
        CZShape{"StoredManyBlocks", SmallBlocks},
        CZShape{"MszipManyBlocks",
                [](CZCabinetShape* s) {
                  Mszip(s);
                  SmallBlocks(s);
                }},
        CZShape{"OneFolderPerFile", ThreeFolders},
        CZShape{"EmptyReservedArea", [](CZCabinetShape* s) { s->reserve = true; }},
        CZShape{"HeaderFolderAndBlockReserves", AllReserves},
        CZShape{"QuantumFolder", [](CZCabinetShape* s) { s->compression = 0x1572; }},
        CZShape{"LzxFolder", [](CZCabinetShape* s) { s->compression = 0x1503; }},
        CZShape{"EmptyFileLast",
                [](CZCabinetShape* s) {
                  s->files.push_back({"empty.dat", ""});
                }},
        CZShape{"OnlyAnEmptyFile",
                [](CZCabinetShape* s) {
                  s->files = {{"empty.dat", ""}};
                }},
        CZShape{"ManySmallFiles",
                [](CZCabinetShape* s) {
                  s->files.clear();
                  for (int i = 0; i < 3000; ++i) {
                    s->files.push_back({"f\\" + std::to_string(i), "file " + std::to_string(i)});
                  }
                }},
        CZShape{"LongestName",
                [](CZCabinetShape* s) {
                  s->files.push_back({std::string(255, 'n'), "x"});
                }}),
    [](const ::testing::TestParamInfo<CZShape>& info) { return std::string(info.param.name); });

TEST_P(LayoutFaultTest, IsRefusedWithItsReason) {
  CZCabinetShape shape;
  shape.files = ThreeFiles();
  GetParam().adjust(&shape);
  CZCabinetMap map;
  CZBytes bytes = BuildCabinet(shape, &map);
  ASSERT_EQ("", Fault(bytes));
  GetParam().spoil(&bytes, map);
  std::string fault = Fault(bytes);
  EXPECT_NE(std::string::npos, fault.find(GetParam().fault)) << fault;
}

INSTANTIATE_TEST_SUITE_P(
    Faults, LayoutFaultTest,
    ::testing::
        Values(CZFaultCase{"NoMagic", Nothing,
                           [](CZBytes* b, const CZCabinetMap&) { (*b)[0] = 'X'; }, "not a cabinet"},
               CZFaultCase{"Version1_2", Nothing,
                           [](CZBytes* b, const CZCabinetMap&) { (*b)[24] = 2; },
                           "format version 1.2, not 1.3"},
               CZFaultCase{"Version2_3", Nothing,
                           [](CZBytes* b, const CZCabinetMap&) { (*b)[25] = 2; },
                           "format version 2.3"},
               CZFaultCase{"PreviousCabinet", Nothing,
                           [](CZBytes* b, const CZCabinetMap&) { (*b)[30] |= 1; },
                           "previous or next cabinet"},
               CZFaultCase{"NextCabinet", Nothing,
                           [](CZBytes* b, const CZCabinetMap&) { (*b)[30] |= 2; },
                           "previous or next cabinet"},
               CZFaultCase{"UndefinedFlag", Nothing,
                           [](CZBytes* b, const CZCabinetMap&) { (*b)[31] |= 0x80; },
                           "bits the format does not define"},
               CZFaultCase{"HeaderReserveOverTheLimit", AllReserves,
                           [](CZBytes* b, const CZCabinetMap&) { Put16(b, 36, 60001); },
                           "header reserve of 60001 bytes"},
               CZFaultCase{"NoFiles", Nothing,
                           [](CZBytes* b, const CZCabinetMap&) { Put16(b, 28, 0); },
                           "nothing to install"},
               CZFaultCase{"ShorterThanDeclared", Nothing,
                           [](CZBytes* b, const CZCabinetMap&) { b->pop_back(); },
                           "ends before its declared cabinet size"},
               CZFaultCase{"DeclaredSizeBeforeTheBlocksEnd", Nothing,
                           [](CZBytes* b, const CZCabinetMap&) { Put32(b, 8, Get32(*b, 8) - 1); },
                           "runs past the declared cabinet size"},
               CZFaultCase{"DeclaredSizeAfterTheBlocksEnd", Nothing,
                           [](CZBytes* b, const CZCabinetMap&) {
                             b->push_back(0);
                             Put32(b, 8, Get32(*b, 8) + 1);
                           },
                           "not at the declared cabinet size"},
               CZFaultCase{"UndefinedCompression", Nothing,
                           [](CZBytes* b, const CZCabinetMap& m) { Put16(b, Folder(m, 0) + 6, 4); },
                           "compression type 0x0004"},
               CZFaultCase{
                   "LzxWindowOutOfRange", Nothing,
                   [](CZBytes* b, const CZCabinetMap& m) { Put16(b, Folder(m, 0) + 6, 0x1603); },
                   "compression type 0x1603"},
               CZFaultCase{
                   "QuantumLevelZero", Nothing,
                   [](CZBytes* b, const CZCabinetMap& m) { Put16(b, Folder(m, 0) + 6, 0x1502); },
                   "compression type 0x1502"},
               CZFaultCase{
                   "MszipWithHighBits", Mszip,
                   [](CZBytes* b, const CZCabinetMap& m) { Put16(b, Folder(m, 0) + 6, 0x0101); },
                   "compression type 0x0101"},
               CZFaultCase{"FirstFileOffsetLeavesAGap", Nothing,
                           [](CZBytes* b, const CZCabinetMap&) { Put32(b, 16, Get32(*b, 16) + 1); },
                           "not right after the folder entries"},
               CZFaultCase{"FolderReserveChanged", AllReserves,
                           [](CZBytes* b, const CZCabinetMap&) { (*b)[38] += 1; },
                           "not right after the folder entries"},
               CZFaultCase{"UnterminatedName", Nothing,
                           [](CZBytes* b, const CZCabinetMap& m) {
                             // The last name runs into the data blocks, and they
                             // hold no zero within 256 bytes.
                             size_t name = m.fileEntries[2] + 16;
                             (*b)[name + 9] = 'x';
                             for (size_t i = m.blocks[0][0]; i < m.blocks[0][0] + 8; ++i)
                               (*b)[i] = 'y';
                           },
                           "has no terminator"},
               CZFaultCase{
                   "FolderIndexPastTheFolders", ThreeFolders,
                   [](CZBytes* b, const CZCabinetMap& m) { Put16(b, m.fileEntries[1] + 8, 3); },
                   "file entry 1 names folder 3 of 3"},
               CZFaultCase{"ContinuedFromThePreviousCabinet", Nothing,
                           [](CZBytes* b, const CZCabinetMap& m) {
                             Put16(b, m.fileEntries[0] + 8, 0xFFFD);
                           },
                           "continued from or into another cabinet"},
               CZFaultCase{"ContinuedIntoTheNextCabinet", Nothing,
                           [](CZBytes* b, const CZCabinetMap& m) {
                             Put16(b, m.fileEntries[2] + 8, 0xFFFE);
                           },
                           "continued from or into another cabinet"},
               CZFaultCase{
                   "FolderWithoutFiles", ThreeFolders,
                   [](CZBytes* b, const CZCabinetMap& m) { Put16(b, m.fileEntries[1] + 8, 0); },
                   "folder 1 holds no file"},
               CZFaultCase{"FirstFolderDataAfterAGap", Nothing,
                           [](CZBytes* b, const CZCabinetMap& m) {
                             Put32(b, Folder(m, 0), Get32(*b, Folder(m, 0)) + 1);
                           },
                           "folder 0: its data starts at"},
               CZFaultCase{"SecondFolderOverlapsTheFirst", ThreeFolders,
                           [](CZBytes* b, const CZCabinetMap& m) {
                             Put32(b, Folder(m, 1), Get32(*b, Folder(m, 0)));
                           },
                           "not right after the previous folder's blocks"},
               CZFaultCase{
                   "FewerBlocks", SmallBlocks,
                   [](CZBytes* b,
                      const CZCabinetMap&
                          m) { Put16(b, Folder(m, 0) + 4, Get16(*b, Folder(m, 0) + 4) - 1); },
                   "its blocks unpack to"},
               CZFaultCase{
                   "MoreBlocks", SmallBlocks,
                   [](CZBytes* b,
                      const CZCabinetMap&
                          m) { Put16(b, Folder(m, 0) + 4, Get16(*b, Folder(m, 0) + 4) + 1); },
                   "lies past the declared cabinet size"},
               CZFaultCase{"BlockReserveChanged", AllReserves,
                           [](CZBytes* b, const CZCabinetMap&) { (*b)[39] += 1; }, "folder"},
               CZFaultCase{"StoredBlockSizesDiffer", Nothing,
                           [](CZBytes* b, const CZCabinetMap& m) {
                             // One byte moved from the block into the declared size's
                             // reach: the walk still ends where it should.
                             Put16(b, m.blocks[0][0] + 6, Get16(*b, m.blocks[0][0] + 6) - 1);
                           },
                           "stored, yet"},
               CZFaultCase{"MszipSwitchedToStored", Mszip,
                           [](CZBytes* b, const CZCabinetMap& m) { Put16(b, Folder(m, 0) + 6, 0); },
                           "stored, yet"},
               CZFaultCase{"StoredSwitchedToMszip", Nothing,
                           [](CZBytes* b, const CZCabinetMap& m) { Put16(b, Folder(m, 0) + 6, 1); },
                           "without its CK marker"},
               CZFaultCase{
                   "MszipMarkerSpoiled", Mszip,
                   [](CZBytes* b, const CZCabinetMap& m) { (*b)[m.blocks[0][0] + 9] = 'X'; },
                   "without its CK marker"},
               CZFaultCase{
                   "BlockUnpacksPastTheLimit", Mszip,
                   [](CZBytes* b, const CZCabinetMap& m) { Put16(b, m.blocks[0][0] + 6, 40000); },
                   "more than a block holds"},
               CZFaultCase{
                   "FileEndsPastItsFolder", Nothing,
                   [](CZBytes* b,
                      const CZCabinetMap&
                          m) { Put32(b, m.fileEntries[2], Get32(*b, m.fileEntries[2]) + 1); },
                   "its files end at 5316"}),
    [](const ::testing::TestParamInfo<CZFaultCase>& info) { return std::string(info.param.name); });

TEST(LayoutTest, CutShortHeaderIsNoCabinet) {
  CZCabinetShape shape;
  shape.files = ThreeFiles();
  CZBytes bytes = BuildCabinet(shape);
  bytes.resize(30);
  EXPECT_EQ("not a cabinet", Fault(bytes));
  EXPECT_EQ("not a cabinet", Fault(CZBytes()));
}

TEST(LayoutTest, NameOf256CharactersIsRefused) {
  CZCabinetShape shape;
  shape.files = {{std::string(256, 'n'), "x"}};
  EXPECT_NE(std::string::npos, Fault(BuildCabinet(shape)).find("file entry 0: its name has no"));
}

TEST(LayoutTest, FaultIsClearedOnSuccess) {
  CZCabinetShape shape;
  shape.files = ThreeFiles();
  CZBytes bytes = BuildCabinet(shape);
  CZMemorySource source(bytes);
  std::string fault = "left over";
  EXPECT_TRUE(CheckCabinetLayout(source, &fault));
  EXPECT_EQ("", fault);
}
