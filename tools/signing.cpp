#include "tools/signing.h"

#include <openssl/err.h>
#include <openssl/rsa.h>

#include <algorithm>
#include <cstring>

#include "package/cabinet_layout.h"
#include "package/openssl_owners.h"
#include "package/signature_check.h"
#include "tools/memory_source.h"

namespace {
constexpr size_t kFixedHeader = 36;
constexpr size_t kMaxHeaderReserve = 60000;

bool MakeSignatureText(const CZBytes& bytes, EVP_PKEY* key, bool digestInfo, std::string* text,
                       std::string* reason) {
  CZMemorySource source(bytes);
  unsigned char digest[kDigestSize];
  if (!DigestSignedRegion(source, digest)) {
    *reason = "cannot digest the signed region";
    return false;
  }
  CZEvpPkeyCtx context(EVP_PKEY_CTX_new(key, nullptr));
  size_t size = 0;
  unsigned char block[1024];
  bool ok = context && EVP_PKEY_sign_init(context.get()) > 0 &&
            EVP_PKEY_CTX_set_rsa_padding(context.get(), RSA_PKCS1_PADDING) > 0 &&
            (!digestInfo || EVP_PKEY_CTX_set_signature_md(context.get(), EVP_sha1()) > 0);
  size = sizeof(block);
  ok = ok && EVP_PKEY_sign(context.get(), block, &size, digest, sizeof(digest)) > 0;
  if (!ok) {
    *reason = "signing failed";
    ERR_clear_error();
    return false;
  }
  unsigned char encoded[2048];
  int length = EVP_EncodeBlock(encoded, block, static_cast<int>(size));
  text->assign(reinterpret_cast<char*>(encoded), length);
  if (text->size() > kMaxSignatureText) {
    *reason = "the key is too large: the signature text exceeds 513 characters";
    return false;
  }
  return true;
}

void ClearReservedRecord(const CZCabImage& image, CZBytes* bytes) {
  if (!image.hasReserve || image.headerReserve < kSignatureRecordSize) return;
  CZSignatureRecord record;
  if (!ParseSignatureRecord(bytes->data() + kReservedAreaOffset, &record)) return;
  size_t end = std::min<size_t>(kSignatureRecordSize + record.textLength, image.headerReserve);
  std::fill(bytes->begin() + kReservedAreaOffset, bytes->begin() + kReservedAreaOffset + end, 0);
}

bool PlaceSignature(const CZCabImage& image, EVP_PKEY* key, const CZSignOptions& options,
                    CZBytes* out, std::string* reason) {
  std::string text;
  if (!MakeSignatureText(image.bytes, key, options.digestInfo, &text, reason)) return false;
  unsigned char record[kSignatureRecordSize];
  WriteSignatureRecord(static_cast<uint32_t>(text.size()), options.placement, record);
  const size_t cabinetEnd = std::min<size_t>(image.cabinetSize, image.bytes.size());

  if (options.placement != kPlacementReservedArea) {
    if (image.bytes.size() < image.cabinetSize) {
      *reason = "the image is shorter than its declared size: nothing can be appended";
      return false;
    }
    out->assign(image.bytes.begin(), image.bytes.begin() + cabinetEnd);
    ClearReservedRecord(image, out);
    out->insert(out->end(), record, record + sizeof(record));
    out->insert(out->end(), text.begin(), text.end());
    return true;
  }

  const size_t needed = kSignatureRecordSize + text.size();
  const size_t reserve = std::max<size_t>(needed, image.hasReserve ? image.headerReserve : 0);
  if (reserve > kMaxHeaderReserve) {
    *reason = "reserved area too large";
    return false;
  }
  // Header start, then the reserved area sizes and the area itself.
  out->assign(image.bytes.begin(), image.bytes.begin() + kFixedHeader);
  unsigned char sizes[4] = {0, 0, image.folderReserve, image.dataReserve};
  PutLittle16(sizes, static_cast<uint16_t>(reserve));
  out->insert(out->end(), sizes, sizes + 4);
  CZBytes area(reserve, 0);
  if (image.hasReserve) {
    std::copy(image.bytes.begin() + kReservedAreaOffset,
              image.bytes.begin() + kReservedAreaOffset + image.headerReserve, area.begin());
  }
  std::copy(record, record + sizeof(record), area.begin());
  std::copy(text.begin(), text.end(), area.begin() + sizeof(record));
  out->insert(out->end(), area.begin(), area.end());
  // Set names, folders, files and data as they were, moved by the growth.
  const size_t oldNamesStart =
      image.hasReserve ? kReservedAreaOffset + image.headerReserve : kFixedHeader;
  out->insert(out->end(), image.bytes.begin() + oldNamesStart, image.bytes.begin() + cabinetEnd);
  const size_t growth = kReservedAreaOffset + reserve - oldNamesStart;
  if (image.cabinetSize + uint64_t{growth} > UINT32_MAX) {
    *reason = "the signed cabinet would exceed 4 GB";
    return false;
  }
  const uint32_t shift = static_cast<uint32_t>(growth);
  unsigned char* b = out->data();
  PutLittle16(b + kCabinetFlagsOffset, image.flags | kCabinetReservePresent);
  PutLittle32(b + kCabinetSizeOffset, image.cabinetSize + shift);
  PutLittle32(b + kFirstFileOffset, image.firstFile + shift);
  size_t folder = image.headerEnd + shift;
  for (const CZCabFolder& entry : image.folders) {
    PutLittle32(b + folder, entry.dataOffset + shift);
    folder += 8 + image.folderReserve;
  }
  return true;
}
}  // namespace

bool SignImage(const CZCabImage& image, EVP_PKEY* key, const CZSignOptions& options, CZBytes* out,
               std::string* reason) {
  if (!PlaceSignature(image, key, options, out, reason)) return false;
  CZMemorySource source(*out);
  std::string fault;
  if (!options.unchecked && !CheckCabinetLayout(source, &fault)) {
    *reason = "the updater would refuse the signed image: " + fault;
    out->clear();
    return false;
  }
  return true;
}
