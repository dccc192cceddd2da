// The current server's text: a host name, or "host:port" when the URL named
// a port other than its scheme's default; an https server's text starts with
// "https://", so that a change of scheme is a change of server and the
// scheme travels with the host wherever the text is kept. No Win32 here.
#pragma once
#include <cstddef>
#include <string>

// Appends ":port" to the host in buffer (size bytes) unless port is the
// scheme's default or 0. False, buffer unchanged, when it does not fit: a
// host without its port would name another server.
bool AppendExplicitPort(char* buffer, size_t size, unsigned port, unsigned defaultPort);

// Splits "host:port" into its parts; a text without a trailing numeric port
// (or with more than one colon, as an IPv6 address) is all host, port 0.
void SplitHostPort(const std::string& text, std::string* host, unsigned* port);

// What starts the text of a server that is spoken to over TLS.
extern const char kSecureServerPrefix[];
constexpr unsigned kDefaultSecurePort = 443;

// Puts kSecureServerPrefix before the text in buffer (size bytes). False,
// buffer unchanged, when it does not fit.
bool PrependSecurePrefix(char* buffer, size_t size);

// Splits a server text: secure when it starts with kSecureServerPrefix (in
// any letter case); the rest as SplitHostPort. A secure server without a
// port gets 443; a plain one keeps 0, the service's default.
void SplitServerText(const std::string& text, bool* secure, std::string* host, unsigned* port);
bool IsSecureServerText(const std::string& text);

// Whether a URL's text names the https scheme, or the plain http one (in any
// letter case).
bool IsSecureUrl(const std::string& url);
bool IsPlainHttpUrl(const std::string& url);
