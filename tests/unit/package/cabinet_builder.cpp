#include "cabinet_builder.h"

#include <algorithm>

namespace {
void Append16(CZBytes* out, uint16_t v) {
  out->push_back(v & 0xFF);
  out->push_back(v >> 8);
}
void Append32(CZBytes* out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out->push_back((v >> (8 * i)) & 0xFF);
}
}  // namespace

uint32_t Get32(const CZBytes& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t Get16(const CZBytes& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
void Put32(CZBytes* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = (v >> (8 * i)) & 0xFF;
}
void Put16(CZBytes* b, size_t at, uint16_t v) {
  (*b)[at] = v & 0xFF;
  (*b)[at + 1] = v >> 8;
}

CZBytes BuildCabinet(const CZCabinetShape& shape, CZCabinetMap* map) {
  const size_t perFolder = shape.filesPerFolder ? shape.filesPerFolder : shape.files.size();
  const size_t folderCount = (shape.files.size() + perFolder - 1) / perFolder;
  const bool mszip = (shape.compression & 0x000F) == 1;
  CZBytes entries;
  std::vector<CZBytes> blocks(folderCount);
  std::vector<size_t> blockCounts(folderCount);
  CZCabinetMap local;
  for (size_t f = 0; f < folderCount; ++f) {
    std::string stream;
    for (size_t i = f * perFolder; i < shape.files.size() && i < (f + 1) * perFolder; ++i) {
      const CZBuiltFile& file = shape.files[i];
      local.fileEntries.push_back(entries.size());
      Append32(&entries, static_cast<uint32_t>(file.content.size()));
      Append32(&entries, static_cast<uint32_t>(stream.size()));
      Append16(&entries, static_cast<uint16_t>(f));
      Append16(&entries, 0x5A21);  // date
      Append16(&entries, 0x6000);  // time
      Append16(&entries, 0x20);
      entries.insert(entries.end(), file.name.begin(), file.name.end());
      entries.push_back(0);
      stream += file.content;
    }
    local.blocks.emplace_back();
    for (size_t at = 0; at < stream.size() || blockCounts[f] == 0; at += shape.blockSize) {
      const size_t size = std::min(shape.blockSize, stream.size() - at);
      local.blocks[f].push_back(blocks[f].size());
      Append32(&blocks[f], 0);  // no checksum
      Append16(&blocks[f], static_cast<uint16_t>(size + (mszip ? 2 : 0)));
      Append16(&blocks[f], static_cast<uint16_t>(size));
      blocks[f].insert(blocks[f].end(), shape.blockReserve, 0);
      if (mszip) {
        blocks[f].push_back('C');
        blocks[f].push_back('K');
      }
      blocks[f].insert(blocks[f].end(), stream.begin() + at, stream.begin() + at + size);
      ++blockCounts[f];
    }
  }

  const bool reserve =
      shape.reserve || shape.headerReserve || shape.folderReserve || shape.blockReserve;
  local.foldersStart = 36 + (reserve ? 4 + shape.headerReserve : 0);
  local.folderEntrySize = 8 + shape.folderReserve;
  const size_t filesStart = local.foldersStart + folderCount * local.folderEntrySize;
  size_t total = filesStart + entries.size();
  for (const CZBytes& b : blocks) total += b.size();

  CZBytes out;
  out.insert(out.end(), {'M', 'S', 'C', 'F'});
  Append32(&out, 0);
  Append32(&out, static_cast<uint32_t>(total));
  Append32(&out, 0);
  Append32(&out, static_cast<uint32_t>(filesStart));
  Append32(&out, 0);
  out.push_back(3);
  out.push_back(1);
  Append16(&out, static_cast<uint16_t>(folderCount));
  Append16(&out, static_cast<uint16_t>(shape.files.size()));
  Append16(&out, reserve ? 0x0004 : 0);
  Append16(&out, 0x1234);  // set id
  Append16(&out, 0);
  if (reserve) {
    Append16(&out, shape.headerReserve);
    out.push_back(shape.folderReserve);
    out.push_back(shape.blockReserve);
    out.insert(out.end(), shape.headerReserve, 0);
  }
  size_t data = filesStart + entries.size();
  for (size_t f = 0; f < folderCount; ++f) {
    Append32(&out, static_cast<uint32_t>(data));
    Append16(&out, static_cast<uint16_t>(blockCounts[f]));
    Append16(&out, shape.compression);
    out.insert(out.end(), shape.folderReserve, 0);
    for (size_t& block : local.blocks[f]) block += data;
    data += blocks[f].size();
  }
  for (size_t& entry : local.fileEntries) entry += filesStart;
  out.insert(out.end(), entries.begin(), entries.end());
  for (const CZBytes& b : blocks) out.insert(out.end(), b.begin(), b.end());
  if (map != nullptr) *map = local;
  return out;
}

bool MapCabinet(const CZBytes& b, CZCabinetMap* map) {
  *map = CZCabinetMap();
  if (b.size() < 36) return false;
  const uint16_t folders = Get16(b, 26);
  const uint16_t files = Get16(b, 28);
  const bool reserve = (Get16(b, 30) & 0x0004) != 0;
  size_t blockReserve = 0;
  map->foldersStart = 36;
  if (reserve) {
    if (b.size() < 40) return false;
    map->foldersStart = 40 + Get16(b, 36);
    map->folderEntrySize = 8 + b[38];
    blockReserve = b[39];
  }
  size_t at = Get32(b, 16);
  for (uint16_t i = 0; i < files; ++i) {
    map->fileEntries.push_back(at);
    at += 16;
    while (at < b.size() && b[at] != 0) ++at;
    if (++at > b.size()) return false;
  }
  for (uint16_t f = 0; f < folders; ++f) {
    const size_t entry = map->foldersStart + f * map->folderEntrySize;
    if (entry + 8 > b.size()) return false;
    at = Get32(b, entry);
    map->blocks.emplace_back();
    for (uint16_t i = 0; i < Get16(b, entry + 4); ++i) {
      if (at + 8 > b.size()) return false;
      map->blocks[f].push_back(at);
      at += 8 + blockReserve + Get16(b, at + 4);
    }
  }
  return true;
}
