// The current host text: a host name, or "host:port" when the URL named a
// port other than its scheme's default. No Win32 here.
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
