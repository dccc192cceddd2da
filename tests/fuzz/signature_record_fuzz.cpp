// The signature record of a package image: whatever the image holds, the
// text read is bounded, comes from exactly where the record says, and no
// read leaves the image. Records round-trip through their writer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "package/signature_record.h"

namespace {
// The image as an exactly sized heap copy; reads are clipped to it.
class CZMemorySource : public CZByteSource {
 public:
  CZMemorySource(const uint8_t* data, size_t size) : m_bytes(data, data + size) {}
  bool Seek(uint32_t offset) override {
    if (offset > m_bytes.size()) return false;
    m_position = offset;
    return true;
  }
  size_t Read(void* buffer, size_t size) override {
    FUZZ_CHECK(size <= 1u << 20);  // nothing asks for more than a signature's worth
    const size_t count = std::min(size, m_bytes.size() - m_position);
    if (count > 0) memcpy(buffer, m_bytes.data() + m_position, count);
    m_position += count;
    return count;
  }

 private:
  std::vector<uint8_t> m_bytes;
  size_t m_position = 0;
};

bool RecordAt(const uint8_t* data, size_t size, size_t offset, CZSignatureRecord* record) {
  return offset + kSignatureRecordSize <= size && ParseSignatureRecord(data + offset, record);
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size >= kSignatureRecordSize) {
    CZSignatureRecord record;
    if (ParseSignatureRecord(data, &record)) {
      unsigned char written[kSignatureRecordSize];
      WriteSignatureRecord(record.textLength, record.placement, written);
      CZSignatureRecord again;
      FUZZ_CHECK(ParseSignatureRecord(written, &again));
      FUZZ_CHECK(again.textLength == record.textLength && again.placement == record.placement);
      FUZZ_CHECK(memcmp(written, data, 9) == 0);
    }
  }
  // The header fields as the cabinet reader would report them.
  const uint32_t cabinetSize = size >= 12 ? ReadLittle32(data + kCabinetSizeOffset) : 0;
  const bool reserve =
      size >= 32 && (ReadLittle16(data + kCabinetFlagsOffset) & kCabinetReservePresent) != 0;
  CZMemorySource image(data, size);
  std::string text = "stale";
  const bool found = ReadSignatureText(image, reserve, cabinetSize, &text);
  if (!found) {
    FUZZ_CHECK(text.empty());
    return 0;
  }
  FUZZ_CHECK(text.size() <= kMaxSignatureText);
  // The text is the bytes right after the record that was taken.
  CZSignatureRecord record;
  size_t textAt = 0;
  if (reserve && RecordAt(data, size, kReservedAreaOffset, &record) &&
      record.placement == kPlacementReservedArea) {
    textAt = kReservedAreaOffset + kSignatureRecordSize;
  } else {
    FUZZ_CHECK(RecordAt(data, size, cabinetSize, &record));
    FUZZ_CHECK(record.placement != kPlacementReservedArea);
    textAt = size_t(cabinetSize) + kSignatureRecordSize;
  }
  FUZZ_CHECK(record.textLength == text.size());
  FUZZ_CHECK(textAt + text.size() <= size);
  FUZZ_CHECK(text.empty() || memcmp(text.data(), data + textAt, text.size()) == 0);
  return 0;
}
