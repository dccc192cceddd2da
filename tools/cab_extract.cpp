#include "tools/cab_extract.h"

#include <zlib.h>

#include <cstddef>
#include <cstdint>

#include "net/setting_line.h"
#include "package/signature_record.h"

namespace {
constexpr size_t kBlockHeaderSize = 8;
constexpr uint32_t kLargestBlock = 32768;

// One MSZIP block: "CK", then raw deflate data whose window goes on from
// the previous block's output.
bool InflateBlock(const unsigned char* data, uint32_t size, const CZBytes& history,
                  uint32_t expected, CZBytes* out) {
  if (size < 2 || data[0] != 'C' || data[1] != 'K') return false;
  z_stream stream = {};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
  const size_t window = history.size() < kLargestBlock ? history.size() : kLargestBlock;
  bool ok = window == 0 || inflateSetDictionary(&stream, history.data() + history.size() - window,
                                                uInt(window)) == Z_OK;
  const size_t start = out->size();
  out->resize(start + expected);
  stream.next_in = const_cast<unsigned char*>(data + 2);
  stream.avail_in = size - 2;
  stream.next_out = out->data() + start;
  stream.avail_out = expected;
  if (ok) {
    const int status = inflate(&stream, Z_FINISH);
    ok = (status == Z_STREAM_END || status == Z_BUF_ERROR || status == Z_OK) &&
         stream.avail_out == 0;
  }
  inflateEnd(&stream);
  return ok;
}
}  // namespace

bool ExtractCabFile(const CZCabImage& image, const std::string& name, CZBytes* contents,
                    std::string* reason) {
  const CZCabFile* file = nullptr;
  for (const CZCabFile& candidate : image.files)
    if (file == nullptr && EqualsNoCase(candidate.name, name)) file = &candidate;
  if (file == nullptr) {
    *reason = "holds no file named " + name;
    return false;
  }
  if (file->folder >= image.folders.size()) {
    *reason = name + " lies in a folder the cabinet does not have";
    return false;
  }
  const CZCabFolder& folder = image.folders[file->folder];
  const unsigned method = folder.compression & 0x000F;
  if (method > 1) {
    *reason = name + " is compressed with a method this tool does not read (type " +
              std::to_string(folder.compression) + ")";
    return false;
  }
  const uint64_t wanted = uint64_t(file->folderOffset) + file->size;
  CZBytes unpacked;
  size_t at = folder.dataOffset;
  const CZBytes& bytes = image.bytes;
  for (uint16_t block = 0; block < folder.blockCount && unpacked.size() < wanted; ++block) {
    if (at + kBlockHeaderSize + image.dataReserve > bytes.size()) break;
    const uint16_t packed = ReadLittle16(&bytes[at + 4]);
    const uint16_t size = ReadLittle16(&bytes[at + 6]);
    const size_t data = at + kBlockHeaderSize + image.dataReserve;
    if (data + packed > bytes.size() || size > kLargestBlock) break;
    if (method == 0) {
      if (packed != size) break;
      unpacked.insert(unpacked.end(), bytes.begin() + data, bytes.begin() + data + size);
    } else {
      const size_t keep = unpacked.size() < kLargestBlock ? unpacked.size() : kLargestBlock;
      const CZBytes history(unpacked.end() - static_cast<std::ptrdiff_t>(keep), unpacked.end());
      if (!InflateBlock(&bytes[data], packed, history, size, &unpacked)) break;
    }
    at = data + packed;
  }
  if (unpacked.size() < wanted) {
    *reason = name + " does not decompress to its stored size";
    return false;
  }
  contents->assign(unpacked.begin() + file->folderOffset, unpacked.begin() + wanted);
  return true;
}
