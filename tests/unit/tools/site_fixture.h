// A small release (description, built files, texts) in a scratch folder,
// the site zpkg site makes from it, and the edits that break such a site.
#pragma once
#include <string>

#include "tool_fixtures.h"
#include "tools/release_description.h"
#include "tools/site_check.h"

constexpr char kTestBaseUrl[] = "http://updates.test.example/";

class CZTestRelease {
 public:
  CZTestRelease();
  const std::string& Folder() const { return m_release; }
  const std::string& Site() const { return m_site; }
  std::string DescriptionPath() const { return m_release + "/release.ini"; }

  // The description's text; Describe writes another.
  static std::string GoodDescription();
  void Describe(const std::string& text) const;
  // Reads the description and makes the site from it with the test key.
  bool Make(std::string* reasons, std::string* notes = nullptr) const;
  CZSiteReport Check(const CZSiteCheckOptions& options = CZSiteCheckOptions()) const;

  // Site files, relative to the site.
  std::string Read(const std::string& relative) const;
  void Write(const std::string& relative, const std::string& text) const;
  // The first from in the file made to; ReplaceAll: every one.
  void Replace(const std::string& relative, const std::string& from, const std::string& to) const;
  void ReplaceAll(const std::string& relative, const std::string& from, const std::string& to) const;
  // A package of the site packed anew, holding name=content, signed with key.
  void Repack(const std::string& relative, const std::string& name, const std::string& content,
              EVP_PKEY* key) const;

 private:
  CZScratchFolder m_scratch;
  std::string m_release, m_site;
};

// The PE image the release ships as its component (5.1.0.0), updater
// (2.0.0.0) and installer (5.0.0.0).
std::string TestProgram(uint16_t major, uint16_t minor);
