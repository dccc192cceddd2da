// The cabinet structure check that binds the installed bytes to the signed
// ones: no read leaves the image, the answer does not depend on how the
// source splits its reads nor on bytes after the declared cabinet size, a
// refusal always says why, and an accepted image has the shape the check
// promises (header, folder data in order, all within the declared size).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "package/cabinet_layout.h"
#include "package/signature_record.h"

namespace {
// The image as an exactly sized heap copy; each read gives at most chunk
// bytes, as a file or a socket may.
class CZMemorySource : public CZByteSource {
 public:
  CZMemorySource(std::vector<uint8_t> bytes, size_t chunk)
      : m_bytes(std::move(bytes)), m_chunk(chunk) {}
  bool Seek(uint32_t offset) override {
    if (offset > m_bytes.size()) return false;
    m_position = offset;
    return true;
  }
  size_t Read(void* buffer, size_t size) override {
    FUZZ_CHECK(size <= 1u << 16);  // the check reads through a small window
    const size_t count = std::min({size, m_chunk, m_bytes.size() - m_position});
    if (count > 0) memcpy(buffer, m_bytes.data() + m_position, count);
    m_position += count;
    return count;
  }

 private:
  std::vector<uint8_t> m_bytes;
  size_t m_chunk;
  size_t m_position = 0;
};

bool Check(std::vector<uint8_t> bytes, size_t chunk, std::string* fault) {
  CZMemorySource source(std::move(bytes), chunk);
  const bool accepted = CheckCabinetLayout(source, fault);
  FUZZ_CHECK(accepted == fault->empty());
  FUZZ_CHECK(fault->size() < 256);
  return accepted;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> image(data, data + size);
  std::string fault;
  const bool accepted = Check(image, SIZE_MAX, &fault);

  // Short reads change nothing.
  const size_t chunk = size == 0 ? 1 : 1 + data[size - 1] % 61;
  std::string fragmented;
  FUZZ_CHECK(Check(image, chunk, &fragmented) == accepted);
  FUZZ_CHECK(fragmented == fault);

  if (!accepted) return 0;
  // What the check promised of an accepted image.
  FUZZ_CHECK(size >= 36 && memcmp(data, "MSCF", 4) == 0);
  FUZZ_CHECK(data[24] == 3 && data[25] == 1);
  const uint16_t flags = ReadLittle16(data + kCabinetFlagsOffset);
  FUZZ_CHECK((flags & ~kCabinetReservePresent) == 0);
  const uint32_t cabinetSize = ReadLittle32(data + kCabinetSizeOffset);
  const uint32_t firstFile = ReadLittle32(data + kFirstFileOffset);
  const uint16_t folders = ReadLittle16(data + 26);
  FUZZ_CHECK(cabinetSize <= size && folders > 0 && ReadLittle16(data + 28) > 0);
  const uint32_t foldersStart =
      (flags & kCabinetReservePresent) ? kReservedAreaOffset + ReadLittle16(data + 36) : 36;
  const uint32_t folderReserve = (flags & kCabinetReservePresent) ? data[38] : 0;
  FUZZ_CHECK(firstFile == foldersStart + uint64_t{folders} * (8 + folderReserve));
  // Each folder's data starts after the file entries and after the folder
  // before it, and within the declared size.
  uint32_t previous = firstFile;
  for (uint32_t i = 0; i < folders; ++i) {
    const uint32_t dataOffset = ReadLittle32(data + foldersStart + i * (8 + folderReserve));
    FUZZ_CHECK(dataOffset > previous && dataOffset < cabinetSize);
    previous = dataOffset;
  }

  // Bytes after the declared size (where a signature lives) change nothing.
  std::vector<uint8_t> longer = image;
  longer.insert(longer.end(), {0x4D, 0x53, 0x43, 0x46, 0xFF, 0x00});
  std::string again;
  FUZZ_CHECK(Check(longer, chunk, &again));
  return 0;
}
