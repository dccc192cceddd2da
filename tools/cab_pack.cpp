#include "tools/cab_pack.h"

#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <filesystem>

namespace {
constexpr size_t kBlockSize = 32768;
constexpr uint16_t kCompressStored = 0;
constexpr uint16_t kCompressMszip = 1;
constexpr uint16_t kAttributeArchive = 0x20;

// The cabinet format's data-block checksum.
uint32_t BlockChecksum(const unsigned char* data, size_t size, uint32_t seed) {
  uint32_t sum = seed;
  size_t words = size / 4;
  for (size_t i = 0; i < words; ++i, data += 4) {
    sum ^= data[0] | (data[1] << 8) | (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24);
  }
  uint32_t last = 0;
  switch (size & 3) {
    case 3:
      last |= static_cast<uint32_t>(*data++) << 16;
      [[fallthrough]];
    case 2:
      last |= static_cast<uint32_t>(*data++) << 8;
      [[fallthrough]];
    case 1:
      last |= *data;
  }
  return sum ^ last;
}

// One MSZIP block: "CK" and a complete raw deflate stream of the block.
bool CompressBlock(const unsigned char* data, size_t size, CZBytes* out) {
  z_stream stream{};
  if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    return false;
  }
  out->assign(2 + deflateBound(&stream, size) + 16, 0);
  (*out)[0] = 'C';
  (*out)[1] = 'K';
  stream.next_in = const_cast<unsigned char*>(data);
  stream.avail_in = static_cast<uInt>(size);
  stream.next_out = out->data() + 2;
  stream.avail_out = static_cast<uInt>(out->size() - 2);
  int rc = deflate(&stream, Z_FINISH);
  out->resize(2 + stream.total_out);
  deflateEnd(&stream);
  return rc == Z_STREAM_END;
}

void DosDateTime(const std::string& path, uint16_t* date, uint16_t* time) {
  struct stat info {};
  time_t when = stat(path.c_str(), &info) == 0 ? info.st_mtime : std::time(nullptr);
  struct tm local {};
  localtime_r(&when, &local);
  int year = std::max(0, local.tm_year + 1900 - 1980);
  *date = static_cast<uint16_t>((year << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
  *time = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
}

void Append16(CZBytes* out, uint16_t v) { out->push_back(v & 0xFF), out->push_back(v >> 8); }
void Append32(CZBytes* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back((v >> (8 * i)) & 0xFF);
}
}  // namespace

bool CollectPackEntries(const std::vector<std::string>& arguments,
                        std::vector<CZPackEntry>* entries, std::string* reason) {
  namespace fs = std::filesystem;
  for (const std::string& argument : arguments) {
    size_t equals = argument.find('=');
    if (equals != std::string::npos) {
      entries->push_back({argument.substr(0, equals), argument.substr(equals + 1)});
      continue;
    }
    std::error_code error;
    if (fs::is_directory(argument, error)) {
      std::vector<CZPackEntry> found;
      for (const auto& item : fs::recursive_directory_iterator(argument)) {
        if (!item.is_regular_file()) continue;
        std::string name = fs::relative(item.path(), argument).generic_string();
        std::replace(name.begin(), name.end(), '/', '\\');
        found.push_back({name, item.path().string()});
      }
      std::sort(found.begin(), found.end(), [](const CZPackEntry& a, const CZPackEntry& b) {
        return a.storedName < b.storedName;
      });
      entries->insert(entries->end(), found.begin(), found.end());
    } else if (fs::is_regular_file(argument, error)) {
      entries->push_back({fs::path(argument).filename().string(), argument});
    } else {
      *reason = "no such file or folder: " + argument;
      return false;
    }
  }
  if (entries->empty()) *reason = "nothing to pack";
  return !entries->empty();
}

namespace {
struct CZPackedFolder {
  CZBytes blocks;  // headers, reserves and payloads
  uint32_t blockCount = 0;
};

// Splits one folder's data into blocks of at most 32768 bytes; an empty
// folder still gets one empty block.
bool PackBlocks(const CZBytes& stream, const CZPackOptions& options, CZPackedFolder* folder,
                std::string* reason) {
  for (size_t at = 0; at < stream.size() || folder->blockCount == 0; at += kBlockSize) {
    size_t size = std::min(kBlockSize, stream.size() - at);
    CZBytes payload;
    if (options.compress) {
      if (!CompressBlock(stream.data() + at, size, &payload)) {
        *reason = "compression failed";
        return false;
      }
    } else {
      payload.assign(stream.begin() + at, stream.begin() + at + size);
    }
    unsigned char sizes[4];
    PutLittle16(sizes, static_cast<uint16_t>(payload.size()));
    PutLittle16(sizes + 2, static_cast<uint16_t>(size));
    uint32_t sum = BlockChecksum(sizes, 4, BlockChecksum(payload.data(), payload.size(), 0));
    Append32(&folder->blocks, sum);
    folder->blocks.insert(folder->blocks.end(), sizes, sizes + 4);
    folder->blocks.insert(folder->blocks.end(), options.blockReserve, 0);
    folder->blocks.insert(folder->blocks.end(), payload.begin(), payload.end());
    ++folder->blockCount;
  }
  if (folder->blockCount > 0xFFFF) {
    *reason = "too many blocks for one folder";
    return false;
  }
  return true;
}
}  // namespace

bool PackCabinet(const std::vector<CZPackEntry>& entries, const CZPackOptions& options,
                 CZBytes* cabinet, std::string* reason) {
  const size_t perFolder = options.filesPerFolder ? options.filesPerFolder : entries.size();
  const size_t folderCount = entries.empty() ? 0 : (entries.size() + perFolder - 1) / perFolder;
  if (entries.size() > 0xFFFF || folderCount > 0xFFFF) {
    *reason = "too many files or folders for one cabinet";
    return false;
  }
  std::vector<CZPackedFolder> folders(folderCount);
  CZBytes fileEntries;
  for (size_t f = 0; f < folderCount; ++f) {
    CZBytes stream;  // the folder's files' data, one after the other
    for (size_t i = f * perFolder; i < entries.size() && i < (f + 1) * perFolder; ++i) {
      const CZPackEntry& entry = entries[i];
      CZBytes data;
      if (!ReadWholeFile(entry.localPath, &data)) {
        *reason = "cannot read " + entry.localPath;
        return false;
      }
      uint16_t date, time;
      DosDateTime(entry.localPath, &date, &time);
      Append32(&fileEntries, static_cast<uint32_t>(data.size()));
      Append32(&fileEntries, static_cast<uint32_t>(stream.size()));
      Append16(&fileEntries, static_cast<uint16_t>(f));
      Append16(&fileEntries, date);
      Append16(&fileEntries, time);
      Append16(&fileEntries, kAttributeArchive);
      fileEntries.insert(fileEntries.end(), entry.storedName.begin(), entry.storedName.end());
      fileEntries.push_back(0);
      stream.insert(stream.end(), data.begin(), data.end());
    }
    if (!PackBlocks(stream, options, &folders[f], reason)) return false;
  }

  const bool reserve = options.headerReserve || options.folderReserve || options.blockReserve;
  const size_t header = 36 + (reserve ? 4 + options.headerReserve : 0);
  const size_t files = header + folderCount * (8 + options.folderReserve);
  uint64_t total = files + fileEntries.size();
  for (const CZPackedFolder& folder : folders) total += folder.blocks.size();
  if (total > 0xFFFFFFFFu) {
    *reason = "cabinet larger than 4 GB";
    return false;
  }
  cabinet->clear();
  Append32(cabinet, 0x4643534D);  // "MSCF"
  Append32(cabinet, 0);
  Append32(cabinet, static_cast<uint32_t>(total));
  Append32(cabinet, 0);
  Append32(cabinet, static_cast<uint32_t>(files));
  Append32(cabinet, 0);
  cabinet->push_back(3);
  cabinet->push_back(1);
  Append16(cabinet, static_cast<uint16_t>(folderCount));
  Append16(cabinet, static_cast<uint16_t>(entries.size()));
  Append16(cabinet, reserve ? 0x0004 : 0);
  Append16(cabinet, 0);  // set id
  Append16(cabinet, 0);  // cabinet index
  if (reserve) {
    Append16(cabinet, options.headerReserve);
    cabinet->push_back(options.folderReserve);
    cabinet->push_back(options.blockReserve);
    cabinet->insert(cabinet->end(), options.headerReserve, 0);
  }
  uint32_t data = static_cast<uint32_t>(files + fileEntries.size());
  for (const CZPackedFolder& folder : folders) {
    Append32(cabinet, data);
    Append16(cabinet, static_cast<uint16_t>(folder.blockCount));
    Append16(cabinet, options.compress ? kCompressMszip : kCompressStored);
    cabinet->insert(cabinet->end(), options.folderReserve, 0);
    data += static_cast<uint32_t>(folder.blocks.size());
  }
  cabinet->insert(cabinet->end(), fileEntries.begin(), fileEntries.end());
  for (const CZPackedFolder& folder : folders) {
    cabinet->insert(cabinet->end(), folder.blocks.begin(), folder.blocks.end());
  }
  return true;
}
