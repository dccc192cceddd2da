#include "settings/reg_key.h"

#include <cstring>
#include <utility>

#include "common/test_hooks.h"

CZRegKey::CZRegKey() : m_hKey(nullptr) {}

CZRegKey::CZRegKey(const char* subKey, HKEY root) : m_hKey(nullptr) {
  // A user without administrative rights cannot open machine-wide keys with
  // full access; the same path of the current user stands in for them.
  if (RegOpenKeyExA(root, subKey, 0, KEY_ALL_ACCESS, &m_hKey) != ERROR_SUCCESS) {
    m_hKey = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, subKey, 0, KEY_ALL_ACCESS, &m_hKey) != ERROR_SUCCESS)
      m_hKey = nullptr;
  }
}

CZRegKey::~CZRegKey() { Close(); }

void CZRegKey::Close() {
  if (m_hKey != nullptr) RegCloseKey(m_hKey);
  m_hKey = nullptr;
}

int CZRegKey::Create(const char* subKey, HKEY root) {
  Close();
  HKEY key = nullptr;
  DWORD disposition = 0;
  LONG rc = RegCreateKeyExA(root, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                            nullptr, &key, &disposition);
  if (rc != ERROR_SUCCESS) return 1;
  m_hKey = key;
  return 0;
}

bool CZRegKey::QueryDword(const char* name, DWORD* value) const {
  *value = 0;
  DWORD size = sizeof(DWORD);
  return RegQueryValueExA(m_hKey, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) ==
         ERROR_SUCCESS;
}

DWORD CZRegKey::GetDword(const char* name) const {
  DWORD value = 0;
  DWORD size = sizeof(DWORD);
  if (RegQueryValueExA(m_hKey, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size) !=
      ERROR_SUCCESS)
    return 0;
  return value;
}

bool CZRegKey::QueryString(const char* name, char* buffer, DWORD size) const {
  if (size == 0) return false;
  buffer[0] = '\0';
  DWORD read = size;
  if (RegQueryValueExA(m_hKey, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &read) !=
      ERROR_SUCCESS) {
    buffer[0] = '\0';
    return false;
  }
  // The stored data need not carry its own terminator (a DWORD read as text,
  // a string written without one): end the text after the bytes read, and
  // refuse data that fills the whole buffer with no room left for the end.
  if (read < size) {
    buffer[read] = '\0';
  } else if (buffer[size - 1] != '\0') {
    buffer[0] = '\0';
    return false;
  }
  return true;
}

LONG CZRegKey::SetString(const char* name, const char* text) {
  ZU_CRASH_POINT("set value", name);
  return RegSetValueExA(m_hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(strlen(text) + 1));
}

LONG CZRegKey::SetDword(const char* name, DWORD value) {
  ZU_CRASH_POINT("set value", name);
  return RegSetValueExA(m_hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof(value));
}

bool CZRegKey::QueryValue(const char* name, DWORD* type, std::vector<BYTE>* data) const {
  // The value may grow between the size query and the read: ask again then.
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD size = 0, kind = 0;
    if (RegQueryValueExA(m_hKey, name, nullptr, &kind, nullptr, &size) != ERROR_SUCCESS)
      return false;
    std::vector<BYTE> bytes(size);
    LONG rc = RegQueryValueExA(m_hKey, name, nullptr, &kind, bytes.empty() ? nullptr : bytes.data(),
                               &size);
    if (rc == ERROR_MORE_DATA) continue;
    if (rc != ERROR_SUCCESS) return false;
    bytes.resize(size);
    *type = kind;
    *data = std::move(bytes);
    return true;
  }
  return false;
}

LONG CZRegKey::SetValue(const char* name, DWORD type, const std::vector<BYTE>& data) {
  ZU_CRASH_POINT("set value", name);
  return RegSetValueExA(m_hKey, name, 0, type, data.empty() ? nullptr : data.data(),
                        static_cast<DWORD>(data.size()));
}

LONG CZRegKey::DeleteValue(const char* name) {
  ZU_CRASH_POINT("delete value", name);
  return RegDeleteValueA(m_hKey, name);
}

bool CZRegKey::HasValue(const char* name) const {
  return m_hKey != nullptr &&
         RegQueryValueExA(m_hKey, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

bool CZRegKey::CountEntries(DWORD* subkeys, DWORD* values) const {
  *subkeys = *values = 0;
  if (m_hKey == nullptr) return false;
  if (RegQueryInfoKeyA(m_hKey, nullptr, nullptr, nullptr, subkeys, nullptr, nullptr, values,
                       nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
    return true;
  *subkeys = *values = 0;
  return false;
}

bool CZRegKey::SubkeyName(DWORD index, char* buffer, DWORD size) const {
  if (m_hKey == nullptr || size == 0) return false;
  DWORD length = size;
  return RegEnumKeyExA(m_hKey, index, buffer, &length, nullptr, nullptr, nullptr, nullptr) ==
         ERROR_SUCCESS;
}

LONG CZRegKey::Flush() { return m_hKey != nullptr ? RegFlushKey(m_hKey) : ERROR_INVALID_HANDLE; }
