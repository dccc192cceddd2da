// The proxy and server texts split into scheme, host and port, and a port
// and the secure prefix added to a host name in a fixed buffer: the split
// gives back its text, the port is a real one, and neither addition ever
// passes its buffer.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz_check.h"
#include "net/host_port.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string host = "stale";
  unsigned port = 12345;
  SplitHostPort(text, &host, &port);
  FUZZ_CHECK(port <= 65535);
  if (port == 0) {
    FUZZ_CHECK(host == text);
  } else {
    FUZZ_CHECK(host + ":" + std::to_string(port) == text ||
               // leading zeros in the port are read, not kept
               (text.compare(0, host.size() + 1, host + ":") == 0 &&
                std::stoul(text.substr(host.size() + 1)) == port));
    FUZZ_CHECK(host.find(':') == std::string::npos);
  }

  bool secure = false;
  std::string serverHost;
  unsigned serverPort = 0;
  SplitServerText(text, &secure, &serverHost, &serverPort);
  FUZZ_CHECK(secure == IsSecureServerText(text));
  FUZZ_CHECK(serverPort <= 65535);
  // A secure server always has a port to connect to.
  FUZZ_CHECK(!secure || serverPort != 0);

  if (size < 3) return 0;
  // A buffer of data[0] bytes holding a host; port from the next two bytes.
  const size_t bufferSize = data[0] % 64 + 1;
  const unsigned appended = data[1] | data[2] << 8;
  std::unique_ptr<char[]> buffer(new char[bufferSize]);
  const std::string name = text.substr(3, bufferSize - 1);
  memcpy(buffer.get(), name.c_str(), std::min(name.size() + 1, bufferSize));
  buffer[bufferSize - 1] = '\0';
  const std::string before(buffer.get());
  const bool fits = AppendExplicitPort(buffer.get(), bufferSize, appended, 80);
  const std::string after(buffer.get());
  FUZZ_CHECK(after.size() < bufferSize);
  if (!fits || appended == 0 || appended == 80) {
    FUZZ_CHECK(after == before);
  } else {
    FUZZ_CHECK(after == before + ":" + std::to_string(appended));
  }

  const std::string beforePrefix(buffer.get());
  const bool prefixed = PrependSecurePrefix(buffer.get(), bufferSize);
  const std::string withPrefix(buffer.get());
  FUZZ_CHECK(withPrefix.size() < bufferSize);
  FUZZ_CHECK(withPrefix == (prefixed ? "https://" + beforePrefix : beforePrefix));
  return 0;
}
