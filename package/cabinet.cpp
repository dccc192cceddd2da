#include "package/cabinet.h"

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <cstring>

#include "common/test_hooks.h"
#include "common/update_log.h"
#include "package/cabinet_layout.h"
#include "package/fdi_callbacks.h"
#include "package/signature_check.h"
#include "package/staged_install.h"
#include "package/stored_name.h"
#include "settings/own_files.h"

namespace {
constexpr int kCpu80386 = 1;
constexpr INT_PTR kAbort = -1;
constexpr INT_PTR kGoOn = 1;

class CZCrtSource : public CZByteSource {
 public:
  explicit CZCrtSource(INT_PTR handle) : m_handle(static_cast<int>(handle)) {}
  bool Seek(uint32_t offset) override {
    // Offsets beyond 2 GB cannot be reached through the 32-bit seek.
    return offset <= 0x7FFFFFFF &&
           _lseek(m_handle, static_cast<long>(offset), SEEK_SET) == static_cast<long>(offset);
  }
  size_t Read(void* buffer, size_t size) override {
    int got = _read(m_handle, buffer, static_cast<unsigned>(size));
    return got > 0 ? static_cast<size_t>(got) : 0;
  }

 private:
  int m_handle;
};
}  // namespace

CZCabinet::CZCabinet() = default;
CZCabinet::~CZCabinet() { Reset(); }

std::string CZCabinet::ImagePath() const { return std::string(m_imageFolder) + m_imageName; }

bool CZCabinet::OpenImage(const char* path) {
  Reset();
  m_context = FDICreate(FdiAllocate, FdiFree, FdiOpen, FdiRead, FdiWrite, FdiClose, FdiSeek,
                        kCpu80386, &m_error);
  if (m_context == nullptr) return false;
  m_state = State::kOpen;

  char copy[kPathSize];
  CopyBounded(copy, path);
  char* slash = strrchr(copy, '\\');
  if (slash == nullptr) {
    Reset();
    return false;
  }
  CopyBounded(m_imageName, slash + 1);
  slash[1] = 0;
  CopyBounded(m_imageFolder, copy);

  CZCrtFile image(OpenWithFolderRetry(ImagePath().c_str(), _O_BINARY | _O_RDONLY, _S_IREAD));
  FDICABINETINFO info = {};
  if (!image.valid() || !FDIIsCabinet(m_context, image.get(), &info)) {
    Reset();
    return false;
  }
  CZCrtSource source(image.get());
  ReadSignatureText(source, info.fReserve != FALSE, static_cast<uint32_t>(info.cbCabinet),
                    &m_signatureText);
  return true;
}

bool CZCabinet::VerifySignature(EVP_PKEY* key) {
  if (m_signatureText.empty() || m_signatureText.size() > kMaxSignatureText) return false;
  if (m_state != State::kOpen) return false;
  unsigned char digest[kDigestSize];
  {
    CZCrtFile image(
        OpenWithFolderRetry(ImagePath().c_str(), _O_BINARY | _O_RDWR, _S_IREAD | _S_IWRITE));
    if (!image.valid()) return false;
    CZCrtSource source(image.get());
    if (!DigestSignedRegion(source, digest)) return false;
  }
  return CheckSignatureText(key, m_signatureText, digest) == CZSignatureCheck::kValid;
}

bool CZCabinet::ExtractTo(const char* folder, const char* requiredName) {
  CZExtractRules rules;
  rules.requiredName = requiredName;
  return ExtractTo(folder, rules);
}

bool CZCabinet::ExtractTo(const char* folder, const CZExtractRules& rules) {
  if (m_state != State::kOpen || folder == nullptr || *folder == 0) return false;
  if (strlen(folder) >= sizeof(m_destination)) return false;
  CopyBounded(m_destination, folder);
  m_layoutFault.clear();
  m_refusal.clear();
  m_missedRequiredName = false;
  const char* requiredName = rules.requiredName;
  {
    // Nothing is extracted unless the decompressor would read only signed bytes.
    CZCrtFile image(OpenWithFolderRetry(ImagePath().c_str(), _O_BINARY | _O_RDONLY, _S_IREAD));
    if (!image.valid()) return false;
    CZCrtSource source(image.get());
    if (!CheckCabinetLayout(source, &m_layoutFault)) return false;
  }

  const std::string stagingRoot = StagingRootOf(ImagePath());
  if (stagingRoot.size() >= kPathSize) return false;
  m_committed.reset();
  auto owned = std::make_unique<CZStagedInstall>(stagingRoot);
  CZStagedInstall& staging = *owned;
  if (!staging.IsReady()) return false;
  m_staging = &staging;
  BOOL copied = FDICopy(m_context, m_imageName, m_imageFolder, 0, Notify, FdiDecrypt, this);
  m_staging = nullptr;
  if (!copied) return false;
  // An image that does not deliver what it was fetched for is not installed
  // at all: an older file of that name must not pass for it.
  if (requiredName != nullptr && !staging.HasStagedName(requiredName)) {
    m_missedRequiredName = true;
    return false;
  }
  const CZOwnPathCheck ownPaths(m_destination);
  for (const std::string& name : staging.Names()) {
    if (requiredName != nullptr && _stricmp(name.c_str(), requiredName) == 0) continue;
    if (rules.onlyRequired) {
      m_refusal = "it holds " + name + " beside its own file";
      return false;
    }
    // Only the caller's own target may be one of the updater's files.
    if (ownPaths.IsOwn(name)) {
      m_refusal = "it holds " + name + ", a file of the updater itself";
      return false;
    }
  }
  if (rules.approve && requiredName != nullptr &&
      !rules.approve(staging.StagedPathOf(requiredName).c_str()))
    return false;
  if (!staging.CommitTo(m_destination)) return false;
  // The commit lasts until Reset: the caller's steps after it belong to it.
  m_committed = std::move(owned);
  return true;
}

INT_PTR CZCabinet::OpenTarget(const char* storedName) {
  if (!IsSafeStoredName(storedName)) return kAbort;
  char target[kPathSize];
  // A cut path would put the file under another name: refuse it instead.
  if (FormatText(target, sizeof(target), "%s\\%s", m_staging->NewFilesFolder().c_str(),
                 storedName) < 0 ||
      strlen(m_destination) + 1 + strlen(storedName) >= kPathSize) {
    return kAbort;
  }
  const int flags = _O_BINARY | _O_RDWR | _O_CREAT | _O_TRUNC;
  INT_PTR handle = OpenWithFolderRetry(target, flags, _S_IWRITE);
  if (handle == -1) {
    if (GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES) return kAbort;
    SetFileAttributesA(target, FILE_ATTRIBUTE_NORMAL);
    handle = OpenWithFolderRetry(target, flags, _S_IWRITE);
  }
  if (handle != -1) {
    ZU_CRASH_POINT("stage", target);
    m_staging->AddStagedName(storedName);
  }
  return handle;
}

INT_PTR DIAMONDAPI CZCabinet::Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notification) {
  CZCabinet* self = static_cast<CZCabinet*>(notification->pv);
  switch (type) {
    case fdintCOPY_FILE:
      return self->OpenTarget(notification->psz1);
    case fdintCLOSE_FILE_INFO: {
      // The image's dates and attributes are not applied. The file goes to
      // the disk before it can replace an installed one: after a power cut
      // the installed name must not stand for a file with no data.
      const int file = static_cast<int>(notification->hf);
      const bool flushed = _commit(file) == 0;
      return _close(file) == 0 && flushed ? 1 : 0;
    }
    case fdintNEXT_CABINET:
      // A package is one image: a file continued elsewhere cannot be whole.
      return kAbort;
    default:
      return kGoOn;
  }
}

void CZCabinet::Reset() {
  m_committed.reset();
  if (m_state == State::kIdle) return;
  if (m_context != nullptr) {
    FDIDestroy(m_context);
    m_context = nullptr;
  }
  m_signatureText.clear();
  m_layoutFault.clear();
  m_refusal.clear();
  m_missedRequiredName = false;
  m_imageFolder[0] = m_imageName[0] = m_destination[0] = 0;
  m_state = State::kIdle;
}
