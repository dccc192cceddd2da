#include "package/checksum_rules.h"

#include <array>

namespace {
constexpr uint32_t kCrc32Polynomial = 0xEDB88320u;

constexpr std::array<uint32_t, 256> MakeCrc32Table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t value = i;
    for (int bit = 0; bit < 8; ++bit)
      value = (value & 1) ? (value >> 1) ^ kCrc32Polynomial : value >> 1;
    table[i] = value;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kCrc32Table = MakeCrc32Table();

uint32_t ReadLittleEndian(const uint8_t* bytes, size_t count) {
  uint32_t value = 0;
  for (size_t i = count; i > 0; --i) value = value << 8 | bytes[i - 1];
  return value;
}

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
}  // namespace

CZChecksumParts ComputeChecksum(const uint8_t* bytes, size_t size) {
  const uint32_t base = SumWords(0, bytes, static_cast<size_t>(ChecksumSummedBytes(size)));
  return FinishChecksum(size, base, bytes + size / 4 * 4);
}

uint64_t ChecksumSummedBytes(uint64_t size) { return (size / 4 + 1) / 2 * 4; }

uint32_t SumWords(uint32_t sum, const uint8_t* bytes, size_t size) {
  for (size_t at = 0; at + 4 <= size; at += 4) sum += ReadLittleEndian(bytes + at, 4);
  return sum;
}

CZChecksumParts FinishChecksum(uint64_t size, uint32_t baseSum, const uint8_t* stragglers) {
  CZChecksumParts parts;
  parts.words = static_cast<uint32_t>(size / 4);
  parts.stragglers = static_cast<uint32_t>(size % 4);
  parts.baseSum = baseSum;
  parts.tail = ReadLittleEndian(stragglers, parts.stragglers);
  parts.total = parts.baseSum + parts.tail;
  return parts;
}

uint32_t UpdateCrc32(uint32_t crc, const uint8_t* bytes, size_t size) {
  for (size_t i = 0; i < size; ++i) crc = (crc >> 8) ^ kCrc32Table[(crc ^ bytes[i]) & 0xFF];
  return crc;
}

uint32_t Crc32TableEntry(uint8_t index) { return kCrc32Table[index]; }

uint32_t ParseExpectedValue(const char* text) {
  if (text == nullptr) return 0;
  while (IsSpace(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  uint32_t value = 0;
  while (*text >= '0' && *text <= '9') value = value * 10u + static_cast<uint32_t>(*text++ - '0');
  return negative ? 0u - value : value;
}
