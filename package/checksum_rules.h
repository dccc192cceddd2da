// The arithmetic behind a package's Size1 and Size2 values: the additive
// checksum, the CRC-32 and the reading of an expected value from the
// manifest. No Win32 here: the updater and the vendor's tool share it.
#pragma once
#include <cstddef>
#include <cstdint>

// The pieces of a buffer's checksum, as the diagnostics report them.
struct CZChecksumParts {
  uint32_t words = 0;       // whole 32-bit words in the buffer
  uint32_t baseSum = 0;     // sum of the first half of them, rounded up
  uint32_t stragglers = 0;  // bytes after the last whole word
  uint32_t tail = 0;        // those bytes as a little-endian number
  uint32_t total = 0;       // baseSum + tail, modulo 2^32
};

// Only the first (words + 1) / 2 words are summed: the bytes of the later
// words do not count. That is the vendor's published rule, kept as it is.
CZChecksumParts ComputeChecksum(const uint8_t* bytes, size_t size);

// The same checksum read in pieces, for files too large to hold at once:
// the sum covers the first ChecksumSummedBytes(size) bytes, fed in order to
// SumWords (each piece a whole number of words); FinishChecksum then adds
// the size % 4 bytes after the last whole word.
uint64_t ChecksumSummedBytes(uint64_t size);
uint32_t SumWords(uint32_t sum, const uint8_t* bytes, size_t size);
CZChecksumParts FinishChecksum(uint64_t size, uint32_t baseSum, const uint8_t* stragglers);

// Reflected CRC-32 with polynomial 0xEDB88320 (the one zlib and ZIP use).
// Start with kCrc32Initial and end with value ^ kCrc32Final.
constexpr uint32_t kCrc32Initial = 0xFFFFFFFFu;
constexpr uint32_t kCrc32Final = 0xFFFFFFFFu;
uint32_t UpdateCrc32(uint32_t crc, const uint8_t* bytes, size_t size);
uint32_t Crc32TableEntry(uint8_t index);

// An expected value as the manifest writes it: leading white space, an
// optional sign, then decimal digits up to the first non-digit, wrapping
// modulo 2^32 (negated after a minus). So the unsigned decimal and its
// signed 32-bit form give the same value; no digits give 0.
uint32_t ParseExpectedValue(const char* text);
