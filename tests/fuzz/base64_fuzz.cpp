// The signature text's decoder: never writes past the buffer it is given,
// produces at most three bytes per group, and round-trips with a standard
// encoder both ways.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "package/base64.h"

namespace {
std::string Encode(const unsigned char* bytes, size_t count) {
  static const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string text;
  for (size_t i = 0; i < count; i += 3) {
    const unsigned v = bytes[i] << 16 | (i + 1 < count ? bytes[i + 1] << 8 : 0) |
                       (i + 2 < count ? bytes[i + 2] : 0);
    text += kAlphabet[v >> 18 & 63];
    text += kAlphabet[v >> 12 & 63];
    text += i + 1 < count ? kAlphabet[v >> 6 & 63] : '=';
    text += i + 2 < count ? kAlphabet[v & 63] : '=';
  }
  return text;
}

// Decodes into a heap buffer of exactly outSize bytes, so that a write past
// it is caught.
bool Decode(const std::string& text, size_t outSize, std::vector<unsigned char>* out) {
  std::unique_ptr<unsigned char[]> buffer(new unsigned char[outSize == 0 ? 1 : outSize]);
  size_t count = 12345;
  const bool ok = DecodeBase64(text.c_str(), text.size(), outSize == 0 ? nullptr : buffer.get(),
                               outSize, &count);
  if (!ok) {
    FUZZ_CHECK(count == 0);
    return false;
  }
  FUZZ_CHECK(count <= outSize);
  out->assign(buffer.get(), buffer.get() + count);
  return true;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  // The first byte picks the output buffer's size, the rest is the text.
  const size_t groups = (size - 1) / 4;
  const size_t outSize = data[0] % (groups * 3 + 2);
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  std::vector<unsigned char> decoded;
  if (!text.empty() && Decode(text, outSize, &decoded)) {
    FUZZ_CHECK(text.size() % 4 == 0);
    FUZZ_CHECK(decoded.size() <= groups * 3);
    FUZZ_CHECK(decoded.size() >= groups);
    // The same bytes, encoded the standard way, decode to themselves.
    const std::string canonical = Encode(decoded.data(), decoded.size());
    std::vector<unsigned char> again;
    if (!canonical.empty()) {
      FUZZ_CHECK(Decode(canonical, decoded.size(), &again));
      FUZZ_CHECK(again == decoded);
    }
  }
  // Any bytes, encoded, come back unchanged.
  const std::string encoded = Encode(data + 1, size - 1);
  if (!encoded.empty()) {
    std::vector<unsigned char> back;
    FUZZ_CHECK(Decode(encoded, size - 1, &back));
    FUZZ_CHECK(back.size() == size - 1 && memcmp(back.data(), data + 1, size - 1) == 0);
  }
  return 0;
}
