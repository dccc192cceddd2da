#include "pe_builder.h"

namespace {
constexpr size_t kPeHeader = 64;
constexpr uint32_t kSectionRva = 0x1000;
constexpr size_t kSectionFile = 0x200;
constexpr size_t kSectionSize = 0x200;
}  // namespace

std::vector<unsigned char> BuildPe(const CZPeShape& shape, CZPeMap* map) {
  std::vector<unsigned char> b(kSectionFile + kSectionSize, 0);
  CZPeMap m;
  b[0] = 'M';
  b[1] = 'Z';
  Put32(&b, 0x3C, kPeHeader);
  m.peHeader = kPeHeader;
  b[kPeHeader] = 'P';
  b[kPeHeader + 1] = 'E';
  const size_t coff = kPeHeader + 4;
  const uint16_t optionalSize = shape.wide ? 240 : 224;
  Put16(&b, coff, shape.wide ? 0x8664 : 0x14C);
  Put16(&b, coff + 2, 1);  // one section
  Put16(&b, coff + 16, optionalSize);
  const size_t optional = coff + 20;
  Put16(&b, optional, shape.wide ? 0x20B : 0x10B);
  Put32(&b, optional + (shape.wide ? 108 : 92), 16);  // data directories
  const size_t directories = optional + (shape.wide ? 112 : 96);
  m.resourceDirectory = directories + 2 * 8;
  m.section = optional + optionalSize;
  const char name[] = ".rsrc";
  for (size_t i = 0; i < 5; ++i) b[m.section + i] = static_cast<unsigned char>(name[i]);
  Put32(&b, m.section + 8, kSectionSize);
  Put32(&b, m.section + 12, kSectionRva);
  Put32(&b, m.section + 16, kSectionSize);
  Put32(&b, m.section + 20, kSectionFile);
  if (!shape.withResources) {
    if (map != nullptr) *map = m;
    return b;
  }
  Put32(&b, m.resourceDirectory, kSectionRva);
  Put32(&b, m.resourceDirectory + 4, kSectionSize);
  // Type directory -> name directory -> language directory -> data entry.
  const size_t root = kSectionFile;
  Put16(&b, root + 14, 1);
  Put32(&b, root + 16, shape.withVersion ? 16 : 24);  // RT_VERSION, or an icon group
  Put32(&b, root + 20, 0x80000000u | 0x18);
  Put16(&b, root + 0x18 + 14, 1);
  Put32(&b, root + 0x18 + 16, 1);
  Put32(&b, root + 0x18 + 20, 0x80000000u | 0x30);
  Put16(&b, root + 0x30 + 14, 1);
  Put32(&b, root + 0x30 + 16, 0x409);
  Put32(&b, root + 0x30 + 20, 0x48);
  m.dataEntry = root + 0x48;
  const uint32_t infoRva = kSectionRva + 0x58;
  const size_t info = root + 0x58;
  const uint16_t infoSize = 40 + 52;
  Put32(&b, m.dataEntry, infoRva);
  Put32(&b, m.dataEntry + 4, infoSize);
  Put16(&b, info, infoSize);
  Put16(&b, info + 2, 52);
  const char key[] = "VS_VERSION_INFO";
  for (size_t i = 0; i < sizeof(key); ++i) Put16(&b, info + 6 + 2 * i, static_cast<uint16_t>(key[i]));
  m.fixedInfo = info + 40;
  Put32(&b, m.fixedInfo, 0xFEEF04BD);
  Put32(&b, m.fixedInfo + 4, 0x00010000);
  Put32(&b, m.fixedInfo + 8, uint32_t(shape.version[0]) << 16 | shape.version[1]);
  Put32(&b, m.fixedInfo + 12, uint32_t(shape.version[2]) << 16 | shape.version[3]);
  Put32(&b, m.fixedInfo + 16, uint32_t(shape.version[0]) << 16 | shape.version[1]);
  Put32(&b, m.fixedInfo + 20, uint32_t(shape.version[2]) << 16 | shape.version[3]);
  if (map != nullptr) *map = m;
  return b;
}
