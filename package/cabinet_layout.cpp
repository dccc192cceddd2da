#include "package/cabinet_layout.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
constexpr size_t kFixedHeaderSize = 36;
constexpr size_t kVersionMinorOffset = 24;
constexpr size_t kVersionMajorOffset = 25;
constexpr size_t kFolderCountOffset = 26;
constexpr size_t kFileCountOffset = 28;
constexpr uint8_t kVersionMajor = 1;
constexpr uint8_t kVersionMinor = 3;

constexpr uint16_t kPreviousCabinet = 0x0001;
constexpr uint16_t kNextCabinet = 0x0002;
constexpr uint16_t kDefinedFlags = kPreviousCabinet | kNextCabinet | kCabinetReservePresent;
// The format's own limit on the header's reserved area.
constexpr uint32_t kMaxHeaderReserve = 60000;

constexpr size_t kFolderEntrySize = 8;
constexpr size_t kFileEntrySize = 16;
// A stored name and its terminator fit in 256 bytes.
constexpr size_t kMaxNameWithTerminator = 256;
// Folder indices at and above this one mark files continued across cabinets.
constexpr uint16_t kFirstContinuedIndex = 0xFFFD;

constexpr size_t kDataHeaderSize = 8;
constexpr uint32_t kMaxUncompressedBlock = 32768;
// A compressed block may exceed its uncompressed size by this much.
constexpr uint32_t kMaxCompressedGrowth = 6144;

constexpr uint16_t kMethodMask = 0x000F;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodMszip = 1;
constexpr uint16_t kMethodQuantum = 2;
constexpr uint16_t kMethodLzx = 3;

// Reads through a small window, so that walking thousands of entries or
// blocks costs a read per window rather than one per field.
class CZWindowReader {
 public:
  explicit CZWindowReader(CZByteSource& source) : m_source(source), m_window(kWindowSize) {}

  // Copies size bytes at offset (size at most the window). False when the
  // image ends before them.
  bool ReadAt(uint64_t offset, void* out, size_t size) {
    if (offset < m_start || offset + size > m_start + m_length) {
      if (offset > UINT32_MAX || !m_source.Seek(static_cast<uint32_t>(offset))) return false;
      m_start = offset;
      m_length = 0;
      while (m_length < m_window.size()) {
        size_t got = m_source.Read(m_window.data() + m_length, m_window.size() - m_length);
        if (got == 0) break;
        m_length += got;
      }
      if (size > m_length) return false;
    }
    memcpy(out, m_window.data() + (offset - m_start), size);
    return true;
  }

 private:
  static constexpr size_t kWindowSize = 4096;
  CZByteSource& m_source;
  std::vector<unsigned char> m_window;
  uint64_t m_start = 0;
  size_t m_length = 0;
};

bool Fail(std::string* fault, const char* format, ...) {
  char text[256];
  va_list args;
  va_start(args, format);
  vsnprintf(text, sizeof(text), format, args);
  va_end(args);
  *fault = text;
  return false;
}

unsigned long long Ull(uint64_t value) { return static_cast<unsigned long long>(value); }

bool IsDefinedCompression(uint16_t type) {
  const unsigned level = (type >> 4) & 0xF;
  const unsigned memory = (type >> 8) & 0x1F;
  switch (type & kMethodMask) {
    case kMethodStored:
    case kMethodMszip:
      return (type & ~kMethodMask) == 0;
    case kMethodQuantum:
      return (type & 0xE000) == 0 && level >= 1 && level <= 7 && memory >= 10 && memory <= 21;
    case kMethodLzx:
      return (type & 0xE0F0) == 0 && memory >= 15 && memory <= 21;
    default:
      return false;
  }
}

struct CZFolderEntry {
  uint32_t dataOffset = 0;
  uint16_t blockCount = 0;
  uint16_t compression = 0;
  uint64_t filesEnd = 0;  // end of the furthest file it holds
  bool holdsFile = false;
};

struct CZHeader {
  uint32_t cabinetSize = 0;
  uint32_t firstFile = 0;
  uint16_t folderCount = 0;
  uint16_t fileCount = 0;
  uint32_t folderReserve = 0;
  uint32_t blockReserve = 0;
  uint64_t foldersStart = 0;
};

bool ReadHeader(CZWindowReader& reader, CZHeader* header, std::string* fault) {
  unsigned char fixed[kFixedHeaderSize];
  if (!reader.ReadAt(0, fixed, sizeof(fixed)) || memcmp(fixed, "MSCF", 4) != 0) {
    return Fail(fault, "not a cabinet");
  }
  if (fixed[kVersionMajorOffset] != kVersionMajor || fixed[kVersionMinorOffset] != kVersionMinor) {
    return Fail(fault, "cabinet format version %u.%u, not 1.3", fixed[kVersionMajorOffset],
                fixed[kVersionMinorOffset]);
  }
  const uint16_t flags = ReadLittle16(fixed + kCabinetFlagsOffset);
  if (flags & (kPreviousCabinet | kNextCabinet)) {
    return Fail(fault, "the header names a previous or next cabinet (flags 0x%04x)", flags);
  }
  if (flags & ~kDefinedFlags) {
    return Fail(fault, "the header flags 0x%04x carry bits the format does not define", flags);
  }
  header->cabinetSize = ReadLittle32(fixed + kCabinetSizeOffset);
  header->firstFile = ReadLittle32(fixed + kFirstFileOffset);
  header->folderCount = ReadLittle16(fixed + kFolderCountOffset);
  header->fileCount = ReadLittle16(fixed + kFileCountOffset);
  header->foldersStart = kFixedHeaderSize;
  if (flags & kCabinetReservePresent) {
    unsigned char sizes[4];
    if (!reader.ReadAt(kFixedHeaderSize, sizes, sizeof(sizes))) {
      return Fail(fault, "the reserved area sizes are cut short");
    }
    const uint32_t headerReserve = ReadLittle16(sizes);
    if (headerReserve > kMaxHeaderReserve) {
      return Fail(fault, "a header reserve of %u bytes, more than %u", headerReserve,
                  kMaxHeaderReserve);
    }
    header->folderReserve = sizes[2];
    header->blockReserve = sizes[3];
    header->foldersStart = kReservedAreaOffset + headerReserve;
  }
  if (header->folderCount == 0 || header->fileCount == 0) {
    return Fail(fault, "%u folders and %u files: nothing to install", header->folderCount,
                header->fileCount);
  }
  // Every byte before the declared size must be there: the digest covered
  // no more than the image holds.
  unsigned char last;
  if (header->cabinetSize == 0 || !reader.ReadAt(header->cabinetSize - 1, &last, 1)) {
    return Fail(fault, "the image ends before its declared cabinet size %u", header->cabinetSize);
  }
  return true;
}

bool ReadFolders(CZWindowReader& reader, const CZHeader& header,
                 std::vector<CZFolderEntry>* folders, std::string* fault) {
  uint64_t at = header.foldersStart;
  for (uint32_t i = 0; i < header.folderCount; ++i) {
    unsigned char entry[kFolderEntrySize];
    if (at + kFolderEntrySize > header.cabinetSize || !reader.ReadAt(at, entry, sizeof(entry))) {
      return Fail(fault, "folder entry %u lies past the declared cabinet size", i);
    }
    CZFolderEntry folder;
    folder.dataOffset = ReadLittle32(entry);
    folder.blockCount = ReadLittle16(entry + 4);
    folder.compression = ReadLittle16(entry + 6);
    if (!IsDefinedCompression(folder.compression)) {
      return Fail(fault, "folder %u: compression type 0x%04x is not one the format defines", i,
                  folder.compression);
    }
    folders->push_back(folder);
    at += kFolderEntrySize + header.folderReserve;
  }
  // Anything between the folder entries and the first file entry would be
  // read by no one but could be read as entries by a decompressor told so.
  if (header.firstFile != at) {
    return Fail(fault, "the file entries start at %u, not right after the folder entries at %llu",
                header.firstFile, Ull(at));
  }
  return true;
}

// Reads the file entries from the first-file offset; *end is where the last
// one ends.
bool ReadFiles(CZWindowReader& reader, const CZHeader& header, std::vector<CZFolderEntry>* folders,
               uint64_t* end, std::string* fault) {
  uint64_t at = header.firstFile;
  for (uint32_t i = 0; i < header.fileCount; ++i) {
    unsigned char entry[kFileEntrySize + kMaxNameWithTerminator];
    // The entry may sit close to the end: read what there is of the longest one.
    uint64_t available = header.cabinetSize > at ? header.cabinetSize - at : 0;
    size_t size = available < sizeof(entry) ? static_cast<size_t>(available) : sizeof(entry);
    if (size < kFileEntrySize + 1 || !reader.ReadAt(at, entry, size)) {
      return Fail(fault, "file entry %u lies past the declared cabinet size", i);
    }
    const void* terminator = memchr(entry + kFileEntrySize, 0, size - kFileEntrySize);
    if (terminator == nullptr) {
      return Fail(fault, "file entry %u: its name has no terminator within %u bytes", i,
                  static_cast<unsigned>(kMaxNameWithTerminator));
    }
    const size_t nameLength =
        static_cast<const unsigned char*>(terminator) - (entry + kFileEntrySize);
    const uint32_t fileSize = ReadLittle32(entry);
    const uint32_t offsetInFolder = ReadLittle32(entry + 4);
    const uint16_t folder = ReadLittle16(entry + 8);
    if (folder >= kFirstContinuedIndex) {
      return Fail(fault, "file entry %u is continued from or into another cabinet", i);
    }
    if (folder >= folders->size()) {
      return Fail(fault, "file entry %u names folder %u of %u", i, folder,
                  static_cast<unsigned>(folders->size()));
    }
    CZFolderEntry& holder = (*folders)[folder];
    const uint64_t fileEnd = uint64_t{offsetInFolder} + fileSize;
    if (fileEnd > holder.filesEnd) holder.filesEnd = fileEnd;
    holder.holdsFile = true;
    at += kFileEntrySize + nameLength + 1;
  }
  *end = at;
  return true;
}

// Walks one folder's blocks from at; *at ends after the last one.
bool WalkBlocks(CZWindowReader& reader, const CZHeader& header, uint32_t index,
                const CZFolderEntry& folder, uint64_t* at, std::string* fault) {
  const uint16_t method = folder.compression & kMethodMask;
  uint64_t uncompressed = 0;
  for (uint32_t i = 0; i < folder.blockCount; ++i) {
    unsigned char block[kDataHeaderSize];
    const uint64_t data = *at + kDataHeaderSize + header.blockReserve;
    if (data > header.cabinetSize || !reader.ReadAt(*at, block, sizeof(block))) {
      return Fail(fault, "folder %u block %u lies past the declared cabinet size %u", index, i,
                  header.cabinetSize);
    }
    const uint32_t packed = ReadLittle16(block + 4);
    const uint32_t unpacked = ReadLittle16(block + 6);
    if (data + packed > header.cabinetSize) {
      return Fail(fault, "folder %u block %u runs past the declared cabinet size %u", index, i,
                  header.cabinetSize);
    }
    if (unpacked > kMaxUncompressedBlock || packed > kMaxUncompressedBlock + kMaxCompressedGrowth) {
      return Fail(fault, "folder %u block %u: %u bytes unpacking to %u, more than a block holds",
                  index, i, packed, unpacked);
    }
    if (method == kMethodStored && packed != unpacked) {
      return Fail(fault, "folder %u block %u: stored, yet %u bytes unpack to %u", index, i, packed,
                  unpacked);
    }
    if (method == kMethodMszip) {
      char marker[2] = {};
      if (packed < sizeof(marker) || !reader.ReadAt(data, marker, sizeof(marker)) ||
          marker[0] != 'C' || marker[1] != 'K') {
        return Fail(fault, "folder %u block %u: an MSZIP block without its CK marker", index, i);
      }
    }
    uncompressed += unpacked;
    *at = data + packed;
  }
  if (uncompressed != folder.filesEnd) {
    return Fail(fault, "folder %u: its blocks unpack to %llu bytes, its files end at %llu", index,
                Ull(uncompressed), Ull(folder.filesEnd));
  }
  return true;
}
}  // namespace

bool CheckCabinetLayout(CZByteSource& image, std::string* fault) {
  fault->clear();
  CZWindowReader reader(image);
  CZHeader header;
  std::vector<CZFolderEntry> folders;
  uint64_t at = 0;
  if (!ReadHeader(reader, &header, fault) || !ReadFolders(reader, header, &folders, fault) ||
      !ReadFiles(reader, header, &folders, &at, fault)) {
    return false;
  }
  for (uint32_t i = 0; i < folders.size(); ++i) {
    if (!folders[i].holdsFile) return Fail(fault, "folder %u holds no file", i);
  }
  for (uint32_t i = 0; i < folders.size(); ++i) {
    const CZFolderEntry& folder = folders[i];
    if (folder.dataOffset != at) {
      return Fail(fault, "folder %u: its data starts at %u, not right after the %s at %llu", i,
                  folder.dataOffset, i == 0 ? "file entries" : "previous folder's blocks", Ull(at));
    }
    if (!WalkBlocks(reader, header, i, folder, &at, fault)) return false;
  }
  if (at != header.cabinetSize) {
    return Fail(fault, "the data blocks end at %llu, not at the declared cabinet size %u", Ull(at),
                header.cabinetSize);
  }
  return true;
}
