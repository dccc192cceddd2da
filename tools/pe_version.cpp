#include "tools/pe_version.h"

#include <cstdint>

#include "package/signature_record.h"

namespace {
constexpr uint32_t kResourceDirectory = 2;
constexpr uint32_t kVersionResourceType = 16;
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr size_t kFixedInfoSize = 52;
constexpr int kMaxEntriesWalked = 4096;

class CZReader {
 public:
  explicit CZReader(const std::vector<unsigned char>& bytes) : m_bytes(bytes) {}
  bool Has(uint64_t at, uint64_t size) const {
    return at <= m_bytes.size() && size <= m_bytes.size() - at;
  }
  uint16_t U16(uint64_t at) const { return ReadLittle16(&m_bytes[at]); }
  uint32_t U32(uint64_t at) const { return ReadLittle32(&m_bytes[at]); }

 private:
  const std::vector<unsigned char>& m_bytes;
};

struct CZSection {
  uint32_t address, virtualSize, rawOffset, rawSize;
};

// The file offset of a relative virtual address, through the section that
// holds it; false outside every section's bytes.
bool MapAddress(const std::vector<CZSection>& sections, uint32_t rva, uint32_t size,
                uint64_t* offset) {
  for (const CZSection& s : sections) {
    const uint64_t extent = s.virtualSize > s.rawSize ? s.virtualSize : s.rawSize;
    if (rva >= s.address && uint64_t(rva) - s.address < extent) {
      const uint64_t within = uint64_t(rva) - s.address;
      if (within + size > s.rawSize) return false;
      *offset = uint64_t(s.rawOffset) + within;
      return true;
    }
  }
  return false;
}

// The first entry of a resource directory whose id is wanted (any entry when
// wanted is 0): its offset field, relative to the resource section.
bool FindEntry(const CZReader& in, uint64_t base, uint64_t directory, uint32_t wanted,
               uint32_t* target) {
  if (!in.Has(base + directory, 16)) return false;
  const uint32_t count = uint32_t(in.U16(base + directory + 12)) + in.U16(base + directory + 14);
  for (uint32_t i = 0; i < count && int(i) < kMaxEntriesWalked; ++i) {
    const uint64_t entry = base + directory + 16 + uint64_t(i) * 8;
    if (!in.Has(entry, 8)) return false;
    const uint32_t id = in.U32(entry);
    if (wanted == 0 || ((id & 0x80000000u) == 0 && id == wanted)) {
      *target = in.U32(entry + 4);
      return true;
    }
  }
  return false;
}
}  // namespace

bool ReadPeFileVersion(const std::vector<unsigned char>& bytes, CZVersion* version,
                       std::string* reason) {
  CZReader in(bytes);
  if (!in.Has(0, 64) || bytes[0] != 'M' || bytes[1] != 'Z') {
    *reason = "not a Windows program or library (no MZ header)";
    return false;
  }
  const uint64_t pe = in.U32(0x3C);
  if (!in.Has(pe, 24) || in.U32(pe) != 0x00004550) {
    *reason = "not a Windows program or library (no PE header)";
    return false;
  }
  const uint16_t sectionCount = in.U16(pe + 6);
  const uint16_t optionalSize = in.U16(pe + 20);
  const uint64_t optional = pe + 24;
  if (!in.Has(optional, optionalSize) || optionalSize < 2) {
    *reason = "its PE optional header is cut short";
    return false;
  }
  const uint16_t magic = in.U16(optional);
  const uint64_t directories = optional + (magic == 0x20B ? 112 : 96);
  const uint64_t countAt = optional + (magic == 0x20B ? 108 : 92);
  if ((magic != 0x10B && magic != 0x20B) || !in.Has(countAt, 4) ||
      directories + 8 * (kResourceDirectory + 1) > optional + optionalSize ||
      in.U32(countAt) <= kResourceDirectory) {
    *reason = "no resource directory";
    return false;
  }
  const uint32_t resourceRva = in.U32(directories + 8 * kResourceDirectory);
  const uint32_t resourceSize = in.U32(directories + 8 * kResourceDirectory + 4);
  std::vector<CZSection> sections;
  const uint64_t table = optional + optionalSize;
  for (uint16_t i = 0; i < sectionCount; ++i) {
    const uint64_t at = table + uint64_t(i) * 40;
    if (!in.Has(at, 40)) break;
    sections.push_back({in.U32(at + 12), in.U32(at + 8), in.U32(at + 20), in.U32(at + 16)});
  }
  uint64_t base = 0;
  if (resourceRva == 0 || resourceSize == 0 ||
      !MapAddress(sections, resourceRva, 16, &base)) {
    *reason = "no version resource (the file has no resources)";
    return false;
  }
  // Type, then name, then language: each level's offset is a subdirectory
  // (high bit set) until the last, which points at the data entry.
  uint32_t offset = 0;
  if (!FindEntry(in, base, 0, kVersionResourceType, &offset) || (offset & 0x80000000u) == 0 ||
      !FindEntry(in, base, offset & 0x7FFFFFFFu, 0, &offset) || (offset & 0x80000000u) == 0 ||
      !FindEntry(in, base, offset & 0x7FFFFFFFu, 0, &offset) || (offset & 0x80000000u) != 0 ||
      !in.Has(base + offset, 16)) {
    *reason = "no version resource";
    return false;
  }
  const uint32_t dataRva = in.U32(base + offset);
  const uint32_t dataSize = in.U32(base + offset + 4);
  uint64_t data = 0;
  // VS_VERSIONINFO: length, value length, type, the key "VS_VERSION_INFO"
  // in UTF-16 with its zero, padded to 32 bits, then VS_FIXEDFILEINFO.
  const uint64_t fixed = 40;
  // A section's raw bytes may claim more than the file holds.
  if (dataSize < fixed + kFixedInfoSize || !MapAddress(sections, dataRva, dataSize, &data) ||
      !in.Has(data, dataSize) || in.U16(data + 2) < kFixedInfoSize || in.U32(data + fixed) != kFixedInfoSignature) {
    *reason = "its version resource has no fixed file information";
    return false;
  }
  const uint32_t high = in.U32(data + fixed + 8);
  const uint32_t low = in.U32(data + fixed + 12);
  version->major = uint16_t(high >> 16);
  version->minor = uint16_t(high);
  version->build = uint16_t(low >> 16);
  version->revision = uint16_t(low);
  return true;
}
