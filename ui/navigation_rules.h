// Where the update page may take the browser control: the page comes
// unsigned from the network, so it may only move within its own server (the
// same scheme, host and port, over http or https) or clear itself away with
// a blank page. No Win32 here.
#pragma once
#include <string>

// A web URL's origin: scheme ("http" or "https", lower case), host (lower
// case) and port (the scheme's default when none is named).
struct CZWebOrigin {
  std::string scheme;
  std::string host;
  unsigned port = 0;
};

// False for anything but a well-formed http or https URL, and for one whose
// authority carries user information ("user@host"), which hides the host
// from a reader.
bool ParseWebOrigin(const std::string& url, CZWebOrigin* origin);

// "about:blank", alone or followed by a fragment or query (any letter case).
bool IsBlankPage(const std::string& url);

// Whether a page loaded from pageUrl may navigate to url.
bool IsAllowedNavigation(const std::string& pageUrl, const std::string& url);
