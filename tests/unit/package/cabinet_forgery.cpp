#include "cabinet_forgery.h"

#include <algorithm>
#include <cstring>

#include "package/signature_check.h"
#include "tools/memory_source.h"

namespace {
constexpr size_t kCabinetSize = 8;
constexpr size_t kFirstFile = 16;
constexpr size_t kVersionMinor = 24;
constexpr size_t kFolderCount = 26;
constexpr size_t kFileCount = 28;
constexpr size_t kFlags = 30;
constexpr uint16_t kReserveFlag = 0x0004;

CZCabinetMap Map(const CZBytes& image) {
  CZCabinetMap map;
  MapCabinet(image, &map);
  return map;
}

size_t FolderEntry(const CZCabinetMap& map, size_t folder) {
  return map.foldersStart + folder * map.folderEntrySize;
}

uint8_t BlockReserve(const CZBytes& image) {
  return (Get16(image, kFlags) & kReserveFlag) ? image[39] : 0;
}

// What folder 0's blocks unpack to.
size_t FolderSize(const CZBytes& image, size_t folder) {
  CZCabinetMap map = Map(image);
  size_t size = 0;
  for (size_t block : map.blocks[folder]) size += Get16(image, block + 6);
  return size;
}

// Points folder 0 at forged blocks placed by place, which gets the blocks
// and returns where they now start.
CZBytes RedirectFolder0(const CZBytes& genuine,
                        const std::function<uint32_t(CZBytes*, const CZBytes&)>& place) {
  CZBytes image = genuine;
  uint16_t count = 0;
  CZBytes blocks = ForgedBlocks(FolderSize(image, 0), BlockReserve(image), &count);
  uint32_t start = place(&image, blocks);
  const size_t entry = FolderEntry(Map(image), 0);
  Put32(&image, entry, start);
  Put16(&image, entry + 4, count);
  Put16(&image, entry + 6, 0);  // stored
  return image;
}

uint32_t Append(CZBytes* image, const CZBytes& blocks) {
  uint32_t start = static_cast<uint32_t>(image->size());
  image->insert(image->end(), blocks.begin(), blocks.end());
  return start;
}

// Gives the image a header reserve when it has none.
void EnsureReserve(CZBytes* image) {
  if (Get16(*image, kFlags) & kReserveFlag) return;
  InsertKeepingOffsets(image, 36, CZBytes(4, 0));
  Put16(image, kFlags, Get16(*image, kFlags) | kReserveFlag);
}

// The reserved area holds at most 60000 bytes: the forged blocks must fit.
uint32_t PlaceInReserve(CZBytes* image, const CZBytes& blocks) {
  EnsureReserve(image);
  const size_t end = 40 + Get16(*image, 36);
  InsertKeepingOffsets(image, end, blocks);
  Put16(image, 36, static_cast<uint16_t>(Get16(*image, 36) + blocks.size()));
  return static_cast<uint32_t>(end);
}

CZBytes FileEntry(uint32_t size, uint32_t offset, uint16_t folder, const std::string& name) {
  CZBytes entry(16, 0);
  Put32(&entry, 0, size);
  Put32(&entry, 4, offset);
  Put16(&entry, 8, folder);
  Put16(&entry, 14, 0x20);
  entry.insert(entry.end(), name.begin(), name.end());
  entry.push_back(0);
  return entry;
}

// Forged file entries right after the folder entries; the genuine ones stay
// where the first-file offset points, and only the forged ones are counted.
CZBytes EntriesInGap(const CZBytes& genuine, const std::vector<CZBytes>& entries) {
  CZBytes image = genuine;
  CZBytes all;
  for (const CZBytes& e : entries) all.insert(all.end(), e.begin(), e.end());
  InsertKeepingOffsets(&image, Get32(image, kFirstFile), all);
  Put16(&image, kFileCount, static_cast<uint16_t>(entries.size()));
  return image;
}

CZBytes WithSetNames(const CZBytes& genuine, uint16_t flag) {
  CZBytes image = genuine;
  const std::string names("other.cab\0disk 2\0", 17);
  InsertKeepingOffsets(&image, Map(image).foldersStart, CZBytes(names.begin(), names.end()));
  Put16(&image, kFlags, Get16(image, kFlags) | flag);
  return image;
}
}  // namespace

void InsertKeepingOffsets(CZBytes* image, size_t offset, const CZBytes& data) {
  const CZCabinetMap map = Map(*image);
  const uint32_t n = static_cast<uint32_t>(data.size());
  for (size_t f = 0; f < Get16(*image, kFolderCount); ++f) {
    const size_t entry = FolderEntry(map, f);
    if (Get32(*image, entry) >= offset) Put32(image, entry, Get32(*image, entry) + n);
  }
  if (Get32(*image, kFirstFile) >= offset) Put32(image, kFirstFile, Get32(*image, kFirstFile) + n);
  // Bytes placed at the declared end lie after the cabinet, not in it.
  if (Get32(*image, kCabinetSize) > offset) {
    Put32(image, kCabinetSize, Get32(*image, kCabinetSize) + n);
  }
  image->insert(image->begin() + offset, data.begin(), data.end());
}

CZBytes ForgedBlocks(size_t size, uint8_t blockReserve, uint16_t* blockCount) {
  static const char kText[] = "forged content, not what was signed. ";
  CZBytes blocks;
  *blockCount = 0;
  for (size_t at = 0; at < size || *blockCount == 0; at += 32768) {
    const size_t n = std::min<size_t>(32768, size - at);
    CZBytes header(8 + blockReserve, 0);
    Put16(&header, 4, static_cast<uint16_t>(n));
    Put16(&header, 6, static_cast<uint16_t>(n));
    blocks.insert(blocks.end(), header.begin(), header.end());
    for (size_t i = 0; i < n; ++i) blocks.push_back(kText[(at + i) % (sizeof(kText) - 1)]);
    ++*blockCount;
  }
  return blocks;
}

bool SaysFault(const std::string& reason, const char* fault) {
  std::string fragments = fault;
  size_t start = 0;
  for (;;) {
    size_t bar = fragments.find('|', start);
    if (reason.find(fragments.substr(start, bar - start)) != std::string::npos) return true;
    if (bar == std::string::npos) return false;
    start = bar + 1;
  }
}

bool SignatureHolds(const CZBytes& image, EVP_PKEY* key) {
  if (image.size() < 40) return false;
  CZMemorySource source(image);
  std::string text;
  unsigned char digest[kDigestSize];
  return ReadSignatureText(source, (Get16(image, kFlags) & kReserveFlag) != 0,
                           Get32(image, kCabinetSize), &text) &&
         DigestSignedRegion(source, digest) &&
         CheckSignatureText(key, text, digest) == CZSignatureCheck::kValid;
}

const std::vector<CZForgery>& Forgeries() {
  static const std::vector<CZForgery> table = {
      {"DataBlocksAfterTheEnd", [](const CZBytes& g) { return RedirectFolder0(g, Append); },
       "folder 0: its data starts at"},
      {"DataBlocksInTheReservedArea",
       [](const CZBytes& g) { return RedirectFolder0(g, PlaceInReserve); },
       "folder 0: its data starts at"},
      {"DataBehindAWrappingOffset",
       [](const CZBytes& g) {
         CZBytes image = RedirectFolder0(g, Append);
         Put32(&image, FolderEntry(Map(image), 0), 0xFFFFFFF0u);
         return image;
       },
       "folder 0: its data starts at 4294967280"},
      {"ForgedEntriesInAGap",
       [](const CZBytes& g) {
         const uint32_t size = static_cast<uint32_t>(FolderSize(g, 0));
         return EntriesInGap(
             g, {FileEntry(size, 0, 0, "zcomp.dll"), FileEntry(size, 0, 0, "payload\\run.exe")});
       },
       "not right after the folder entries"},
      {"HugeForgedEntryInAGap",
       [](const CZBytes& g) { return EntriesInGap(g, {FileEntry(1u << 30, 0, 0, "zcomp.dll")}); },
       "not right after the folder entries"},
      {"ContinuedEntryInAGap",
       [](const CZBytes& g) { return EntriesInGap(g, {FileEntry(10, 0, 0xFFFE, "zcomp.dll")}); },
       "not right after the folder entries"},
      {"LoweredFileCount",
       [](const CZBytes& g) {
         CZBytes image = g;
         Put16(&image, kFileCount, static_cast<uint16_t>(Get16(g, kFileCount) - 1));
         return image;
       },
       "not right after the file entries|holds no file"},
      {"RaisedFolderCount",
       [](const CZBytes& g) {
         CZBytes image = g;
         const CZCabinetMap map = Map(g);
         CZBytes entry(map.folderEntrySize, 0);
         Put32(&entry, 0, Get32(g, kCabinetSize) + static_cast<uint32_t>(entry.size()));
         InsertKeepingOffsets(&image, Get32(g, kFirstFile), entry);
         Put16(&image, kFolderCount, static_cast<uint16_t>(Get16(g, kFolderCount) + 1));
         return image;
       },
       "holds no file"},
      {"RaisedBlockCount",
       [](const CZBytes& g) {
         CZBytes image = g;
         const size_t entry = FolderEntry(Map(g), 0) + 4;
         Put16(&image, entry, static_cast<uint16_t>(Get16(g, entry) + 1));
         return image;
       },
       "folder 0"},
      {"BlockCount65535",
       [](const CZBytes& g) {
         CZBytes image = g;
         Put16(&image, FolderEntry(Map(g), 0) + 4, 0xFFFF);
         return image;
       },
       "folder 0"},
      {"NextCabinetFlag", [](const CZBytes& g) { return WithSetNames(g, 0x0002); },
       "previous or next cabinet"},
      {"PreviousCabinetFlag", [](const CZBytes& g) { return WithSetNames(g, 0x0001); },
       "previous or next cabinet"},
      {"FormatVersion1_2",
       [](const CZBytes& g) {
         CZBytes image = g;
         image[kVersionMinor] = 2;
         return image;
       },
       "format version 1.2"},
  };
  return table;
}
