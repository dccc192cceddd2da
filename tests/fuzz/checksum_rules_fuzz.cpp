// The checksum and CRC of a downloaded package, and the manifest's expected
// values: the checksum reads only its buffer and only the words it sums,
// the CRC is the same however the bytes are split, and an expected value
// written back in either decimal form reads the same.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "package/checksum_rules.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // An exactly sized heap copy, so a read past the buffer is caught.
  std::vector<uint8_t> bytes(data, data + size);
  const CZChecksumParts parts = ComputeChecksum(bytes.data(), bytes.size());
  FUZZ_CHECK(parts.words == size / 4);
  FUZZ_CHECK(parts.stragglers == size % 4);
  FUZZ_CHECK(parts.total == parts.baseSum + parts.tail);
  FUZZ_CHECK(parts.stragglers != 0 || parts.tail == 0);
  // The words after the summed half do not count.
  const size_t summedBytes = 4 * ((size / 4 + 1) / 2);
  if (summedBytes + 4 <= 4 * (size / 4)) {
    std::vector<uint8_t> changed = bytes;
    for (size_t i = summedBytes; i < 4 * (size / 4); ++i) changed[i] ^= 0xA5;
    const CZChecksumParts again = ComputeChecksum(changed.data(), changed.size());
    FUZZ_CHECK(again.total == parts.total && again.baseSum == parts.baseSum);
  }

  // The CRC does not depend on where the bytes are split, and the bytes
  // followed by their own CRC leave the fixed residue.
  const size_t split = size == 0 ? 0 : data[0] % (size + 1);
  const uint32_t whole = UpdateCrc32(kCrc32Initial, bytes.data(), size);
  const uint32_t halves = UpdateCrc32(UpdateCrc32(kCrc32Initial, bytes.data(), split),
                                      bytes.data() + split, size - split);
  FUZZ_CHECK(whole == halves);
  const uint32_t crc = whole ^ kCrc32Final;
  const uint8_t trailer[4] = {uint8_t(crc), uint8_t(crc >> 8), uint8_t(crc >> 16),
                              uint8_t(crc >> 24)};
  FUZZ_CHECK((UpdateCrc32(whole, trailer, 4) ^ kCrc32Final) == 0x2144DF1Cu);

  // Any text reads as some value; that value written as unsigned or as
  // signed 32-bit decimal reads back the same.
  std::string text(reinterpret_cast<const char*>(data), size);
  const uint32_t value = ParseExpectedValue(text.c_str());
  FUZZ_CHECK(ParseExpectedValue(std::to_string(value).c_str()) == value);
  FUZZ_CHECK(ParseExpectedValue(std::to_string(static_cast<int32_t>(value)).c_str()) == value);
  return 0;
}
