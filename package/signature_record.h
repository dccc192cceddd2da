// Where a package image keeps its signature: a 12-byte "SIGN" record followed
// by the base64 text, either at the start of the cabinet header's reserved
// area (placement 0) or right after the cabinet's declared size (non-zero).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

// Cabinet header fields the signature rules read (offsets in the image).
constexpr uint32_t kCabinetSizeOffset = 8;
constexpr uint32_t kFirstFileOffset = 16;
constexpr uint32_t kCabinetFlagsOffset = 30;
constexpr uint16_t kCabinetReservePresent = 0x0004;
constexpr size_t kHeaderWithReserveSizes = 40;  // fixed header and reserved-area sizes
constexpr uint32_t kReservedAreaOffset = 40;

constexpr size_t kSignatureRecordSize = 12;
constexpr size_t kRecordLengthOffset = 4;
constexpr size_t kRecordPlacementOffset = 8;
constexpr uint8_t kPlacementReservedArea = 0;
constexpr uint8_t kPlacementAppended = 1;
// Longest text accepted: a 2048-bit block takes 344 characters.
constexpr size_t kMaxSignatureText = 513;

// Positioned reads of an open image.
class CZByteSource {
 public:
  virtual ~CZByteSource() = default;
  virtual bool Seek(uint32_t offset) = 0;
  // The count read; 0 at the end or on an error.
  virtual size_t Read(void* buffer, size_t size) = 0;
};

uint32_t ReadLittle32(const unsigned char* bytes);
uint16_t ReadLittle16(const unsigned char* bytes);

struct CZSignatureRecord {
  uint32_t textLength = 0;
  uint8_t placement = 0;
};

// True when the 12 bytes are a "SIGN" record; fills record.
bool ParseSignatureRecord(const unsigned char* bytes, CZSignatureRecord* record);
void WriteSignatureRecord(uint32_t textLength, uint8_t placement, unsigned char* bytes);

// Finds the record of an image that is a cabinet (reservePresent and
// cabinetSize as the cabinet reader reports them) and reads its text. False
// when there is none, or when its text is longer than any valid one or cut
// short by the end of the image.
bool ReadSignatureText(CZByteSource& image, bool reservePresent, uint32_t cabinetSize,
                       std::string* text);
