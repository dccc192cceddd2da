// Checks a whole update site folder as the updater will read it: the client
// update page, the folders it names (mapped onto the site folder by URL
// path), the manifest, every package it names and the prompt texts. It uses
// the updater's own rules (the signature and structure checks, the name
// rules, the checksum and CRC, the version texts, the buffer limits).
#pragma once
#include <openssl/evp.h>

#include <string>
#include <vector>

#include "common/version_text.h"
#include "tools/site_editions.h"

struct CZSiteCheckOptions {
  std::string page = "corvcli.html";  // the client update page, relative to the site
  std::string baseUrl;                // the URL the site folder is served at; empty: "/"
  bool hasInstalled = false;
  CZVersion installed;  // the updater version clients run now
  // One client's view (its locale, cobrand, ligans); otherwise every edition
  // the site's editions.ini lists, or the default one without that file.
  bool hasClient = false;
  CZClientEdition client;
};

struct CZSiteProblem {
  std::string file;  // relative to the site, with "/"
  std::string reason;
};

struct CZSiteReport {
  std::vector<CZSiteProblem> problems;
  std::vector<CZSiteProblem> warnings;  // what may be meant, but costs clients their update
  std::vector<std::string> checked;     // what was found sound, one line each
};

CZSiteReport CheckSite(EVP_PKEY* publicKey, const std::string& site,
                       const CZSiteCheckOptions& options);
