#include "tools/cab_image.h"

#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <utility>

#include "package/signature_record.h"

namespace {
constexpr size_t kFixedHeader = 36;
constexpr uint16_t kPreviousCabinet = 0x0001;
constexpr uint16_t kNextCabinet = 0x0002;

bool SkipText(const CZBytes& bytes, size_t* at) {
  while (*at < bytes.size() && bytes[*at] != 0) ++*at;
  if (*at >= bytes.size()) return false;
  ++*at;
  return true;
}
}  // namespace

void PutLittle16(unsigned char* at, uint16_t value) {
  at[0] = value & 0xFF;
  at[1] = value >> 8;
}

void PutLittle32(unsigned char* at, uint32_t value) {
  for (int i = 0; i < 4; ++i) at[i] = (value >> (8 * i)) & 0xFF;
}

bool ReadWholeFile(const std::string& path, CZBytes* bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool ReadWholeText(const std::string& path, std::string* text) {
  CZBytes bytes;
  if (!ReadWholeFile(path, &bytes)) return false;
  text->assign(bytes.begin(), bytes.end());
  return true;
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool WriteWholeFile(const std::string& path, const CZBytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return static_cast<bool>(out);
}

bool LoadCabImage(const std::string& path, CZCabImage* image, std::string* reason) {
  CZBytes bytes;
  if (!ReadWholeFile(path, &bytes)) {
    *image = CZCabImage();
    *reason = "cannot read " + path;
    return false;
  }
  return ParseCabImage(std::move(bytes), image, reason);
}

bool ParseCabImage(CZBytes bytes, CZCabImage* image, std::string* reason) {
  *image = CZCabImage();
  image->bytes = std::move(bytes);
  const CZBytes& b = image->bytes;
  if (b.size() < kFixedHeader || memcmp(b.data(), "MSCF", 4) != 0) {
    *reason = "not a cabinet";
    return false;
  }
  if (b[24] != 3 || b[25] != 1) {
    *reason = "cabinet format version " + std::to_string(b[25]) + "." + std::to_string(b[24]) +
              ", not 1.3";
    return false;
  }
  image->cabinetSize = ReadLittle32(&b[kCabinetSizeOffset]);
  image->firstFile = ReadLittle32(&b[kFirstFileOffset]);
  const uint16_t folderCount = ReadLittle16(&b[26]);
  const uint16_t fileCount = ReadLittle16(&b[28]);
  image->flags = ReadLittle16(&b[kCabinetFlagsOffset]);
  image->setId = ReadLittle16(&b[32]);
  image->cabinetIndex = ReadLittle16(&b[34]);
  size_t at = kFixedHeader;
  image->hasReserve = (image->flags & kCabinetReservePresent) != 0;
  if (image->hasReserve) {
    if (b.size() < kHeaderWithReserveSizes) {
      *reason = "header cut short";
      return false;
    }
    image->headerReserve = ReadLittle16(&b[36]);
    image->folderReserve = b[38];
    image->dataReserve = b[39];
    at = kHeaderWithReserveSizes + image->headerReserve;
    if (at > b.size()) {
      *reason = "the header reserve of " + std::to_string(image->headerReserve) +
                " bytes runs past the end of the file (" + std::to_string(b.size()) + " bytes)";
      return false;
    }
  }
  for (uint16_t flag : {kPreviousCabinet, kNextCabinet}) {
    if ((image->flags & flag) && !(SkipText(b, &at) && SkipText(b, &at))) {
      *reason = "set names cut short";
      return false;
    }
  }
  image->headerEnd = at;
  for (uint16_t i = 0; i < folderCount; ++i, at += 8 + image->folderReserve) {
    if (at + 8 > b.size()) {
      *reason = "folder entries cut short";
      return false;
    }
    image->folders.push_back(
        {ReadLittle32(&b[at]), ReadLittle16(&b[at + 4]), ReadLittle16(&b[at + 6])});
  }
  // Signing copies and moves everything up to the declared size: the header
  // and folder entries must lie before it, the file entries after them.
  if (image->cabinetSize < at) {
    *reason = "the declared cabinet size " + std::to_string(image->cabinetSize) +
              " ends before the folder entries end at " + std::to_string(at);
    return false;
  }
  if (image->firstFile < at || image->firstFile > image->cabinetSize) {
    *reason = "the first file entry at " + std::to_string(image->firstFile) +
              " lies outside the cabinet's file area (" + std::to_string(at) + " to " +
              std::to_string(image->cabinetSize) + ")";
    return false;
  }
  at = image->firstFile;
  for (uint16_t i = 0; i < fileCount; ++i) {
    if (at + 16 > b.size()) {
      *reason = "file entries cut short";
      return false;
    }
    CZCabFile file;
    file.size = ReadLittle32(&b[at]);
    file.folderOffset = ReadLittle32(&b[at + 4]);
    file.folder = ReadLittle16(&b[at + 8]);
    file.date = ReadLittle16(&b[at + 10]);
    file.time = ReadLittle16(&b[at + 12]);
    file.attributes = ReadLittle16(&b[at + 14]);
    size_t name = at + 16;
    at = name;
    if (!SkipText(b, &at)) {
      *reason = "file name cut short";
      return false;
    }
    file.name.assign(reinterpret_cast<const char*>(&b[name]));
    image->files.push_back(file);
  }
  return true;
}
