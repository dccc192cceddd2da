#include "package/signature_record.h"

#include <cstring>

namespace {
const char kSignatureMagic[4] = {'S', 'I', 'G', 'N'};
}

uint32_t ReadLittle32(const unsigned char* b) {
  return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

uint16_t ReadLittle16(const unsigned char* b) { return static_cast<uint16_t>(b[0] | (b[1] << 8)); }

bool ParseSignatureRecord(const unsigned char* bytes, CZSignatureRecord* record) {
  if (memcmp(bytes, kSignatureMagic, sizeof(kSignatureMagic)) != 0) return false;
  record->textLength = ReadLittle32(bytes + kRecordLengthOffset);
  record->placement = bytes[kRecordPlacementOffset];
  return true;
}

void WriteSignatureRecord(uint32_t textLength, uint8_t placement, unsigned char* bytes) {
  memset(bytes, 0, kSignatureRecordSize);
  memcpy(bytes, kSignatureMagic, sizeof(kSignatureMagic));
  for (int i = 0; i < 4; ++i) bytes[kRecordLengthOffset + i] = (textLength >> (8 * i)) & 0xFF;
  bytes[kRecordPlacementOffset] = placement;
}

bool ReadSignatureText(CZByteSource& image, bool reservePresent, uint32_t cabinetSize,
                       std::string* text) {
  text->clear();
  unsigned char bytes[kSignatureRecordSize];
  CZSignatureRecord record;
  bool found = false;
  if (reservePresent && image.Seek(kReservedAreaOffset) &&
      image.Read(bytes, sizeof(bytes)) == sizeof(bytes) && ParseSignatureRecord(bytes, &record) &&
      record.placement == kPlacementReservedArea) {
    found = true;
  }
  if (!found) {
    // Not in the reserved area: an appended record must say so by its flag.
    found = image.Seek(cabinetSize) && image.Read(bytes, sizeof(bytes)) == sizeof(bytes) &&
            ParseSignatureRecord(bytes, &record) && record.placement != kPlacementReservedArea;
  }
  // A longer text can never verify; not reading it keeps a forged length
  // from asking for gigabytes.
  if (!found || record.textLength > kMaxSignatureText) return false;
  text->resize(record.textLength);
  if (record.textLength > 0 && image.Read(&(*text)[0], record.textLength) != record.textLength) {
    text->clear();
    return false;
  }
  return true;
}
