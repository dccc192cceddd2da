// CZCabinet: reader of one package image, over the platform's cabinet
// decompressor. Opens the image, keeps its signature text, checks the
// signature and extracts every file below a folder.
#pragma once
#include <windows.h>
// fdi.h needs the types windows.h declares.
#include <fdi.h>

#include <functional>
#include <memory>
#include <string>

#include "common/bounded_text.h"

typedef struct evp_pkey_st EVP_PKEY;
class CZStagedInstall;

// What an extraction must find before any file of it is committed.
struct CZExtractRules {
  // The stored name (compared case-folded) the image must hold; null: none.
  const char* requiredName = nullptr;
  // The image may hold no file but requiredName.
  bool onlyRequired = false;
  // Looks at the required file where it waits, staged, before anything is
  // committed; false refuses the whole image (the approver logs why).
  std::function<bool(const char* stagedPath)> approve;
};

class CZCabinet {
 public:
  CZCabinet();
  CZCabinet(const CZCabinet&) = delete;
  CZCabinet& operator=(const CZCabinet&) = delete;
  ~CZCabinet();

  // path: the image's full path. True when it is a cabinet of format version
  // 1.3, signed or not.
  bool OpenImage(const char* path);
  // True exactly when the open image carries a valid signature by key.
  bool VerifySignature(EVP_PKEY* key);
  // Extracts every file below folder. The files are staged next to the image
  // and replace the installed ones only when the whole image came out; a
  // stored name that would leave folder fails the extraction, and so does a
  // cabinet whose layout would let the decompressor read unsigned bytes
  // (LayoutFault then says why). With requiredName (a stored name, compared
  // case-folded), an image that does not hold that file installs nothing
  // (MissedRequiredName then tells).
  // An image with a file, other than the required one, that would land on
  // one of the updater's own files is refused whole (Refusal then says
  // why), and so is one that breaks the rules.
  // A commit lasts until Reset (or the next extraction): until then a run
  // cut off has the old files put back by the next run.
  bool ExtractTo(const char* folder, const char* requiredName = nullptr);
  bool ExtractTo(const char* folder, const CZExtractRules& rules);
  void Reset();

  bool IsOpen() const { return m_state == State::kOpen; }
  // The signature text read by OpenImage; empty when the image has none.
  const std::string& SignatureText() const { return m_signatureText; }
  // Why the last ExtractTo refused the cabinet's layout; empty otherwise.
  const std::string& LayoutFault() const { return m_layoutFault; }
  // Whether the last ExtractTo found every file but not the required one.
  bool MissedRequiredName() const { return m_missedRequiredName; }
  // Why the last ExtractTo refused files it found; empty otherwise.
  const std::string& Refusal() const { return m_refusal; }

 private:
  enum class State { kIdle, kOpen };
  static INT_PTR DIAMONDAPI Notify(FDINOTIFICATIONTYPE type, PFDINOTIFICATION notification);
  INT_PTR OpenTarget(const char* storedName);
  std::string ImagePath() const;

  State m_state = State::kIdle;
  HFDI m_context = nullptr;
  ERF m_error = {};
  char m_imageFolder[kPathSize] = "";
  char m_imageName[kPathSize] = "";
  char m_destination[kPathSize] = "";
  std::string m_signatureText;
  std::string m_layoutFault;
  std::string m_refusal;
  bool m_missedRequiredName = false;
  CZStagedInstall* m_staging = nullptr;  // set while ExtractTo runs
  // The last commit, until Reset ends it.
  std::unique_ptr<CZStagedInstall> m_committed;
};
