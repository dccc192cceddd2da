#include "settings/reg_key.h"

#include <cstring>

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
  return RegSetValueExA(m_hKey, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                        static_cast<DWORD>(strlen(text) + 1));
}

LONG CZRegKey::SetDword(const char* name, DWORD value) {
  return RegSetValueExA(m_hKey, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                        sizeof(value));
}
