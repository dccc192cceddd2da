// Positioned reads of an image held in memory, for the package rules that
// read through a CZByteSource.
#pragma once
#include <algorithm>
#include <cstring>
#include <vector>

#include "package/signature_record.h"

class CZMemorySource : public CZByteSource {
 public:
  explicit CZMemorySource(const std::vector<unsigned char>& bytes) : m_bytes(bytes) {}
  bool Seek(uint32_t offset) override {
    m_at = offset;
    return true;
  }
  size_t Read(void* buffer, size_t size) override {
    if (m_at >= m_bytes.size()) return 0;
    size_t count = std::min(size, m_bytes.size() - m_at);
    memcpy(buffer, m_bytes.data() + m_at, count);
    m_at += count;
    return count;
  }

 private:
  const std::vector<unsigned char>& m_bytes;
  size_t m_at = 0;
};
