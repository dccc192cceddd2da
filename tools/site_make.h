// `zpkg site`: a complete update site made from a release description. It
// packs and signs every package, writes the manifest (with Size1, Size2 and
// FileVersion), the client update page and the prompt texts, dates every
// file, and checks the result by the updater's rules before it reports
// success.
#pragma once
#include <openssl/evp.h>

#include <string>

#include "tools/release_description.h"

// out must not exist or be empty. False, with the reasons (one per line),
// when the release or the site made from it would be refused; nothing is
// left in out then. notes gets what the vendor should know (one per line).
bool MakeSite(const CZReleaseDescription& release, EVP_PKEY* privateKey, const std::string& out,
              std::string* reasons, std::string* notes);
