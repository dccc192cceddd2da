// Registry values written and read back by tests, straight through the
// platform (not through the code under test).
#pragma once
#include <windows.h>

#include <string>

// Creates the key when needed; true when the value was written.
inline bool SetRegValue(HKEY root, const char* subKey, const char* name, DWORD type,
                        const void* data, DWORD size) {
  HKEY key;
  if (RegCreateKeyExA(root, subKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
      ERROR_SUCCESS)
    return false;
  LONG rc = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}
inline bool SetRegString(HKEY root, const char* subKey, const char* name, const std::string& text) {
  return SetRegValue(root, subKey, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}
inline bool SetRegDword(HKEY root, const char* subKey, const char* name, DWORD value) {
  return SetRegValue(root, subKey, name, REG_DWORD, &value, sizeof(value));
}
// "<absent>" when the value cannot be read as a string.
inline std::string ReadRegString(HKEY root, const char* subKey, const char* name) {
  char text[1024] = "";
  DWORD size = sizeof(text);
  if (RegGetValueA(root, subKey, name, RRF_RT_REG_SZ, nullptr, text, &size) != ERROR_SUCCESS)
    return "<absent>";
  return text;
}
// The same through one view of a key 64-bit Windows keeps in two
// (KEY_WOW64_32KEY or KEY_WOW64_64KEY).
inline std::string ReadRegStringInView(HKEY root, const char* subKey, const char* name,
                                       REGSAM view) {
  HKEY key;
  if (RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS)
    return "<absent>";
  const std::string text = ReadRegString(key, nullptr, name);
  RegCloseKey(key);
  return text;
}
// 0xDEAD when the value cannot be read as 32 bits.
inline DWORD ReadRegDword(HKEY root, const char* subKey, const char* name) {
  DWORD value = 0xDEAD, size = sizeof(value);
  RegGetValueA(root, subKey, name, RRF_RT_REG_DWORD, nullptr, &value, &size);
  return value;
}

// Puts one registry value back as it was found when the object goes.
class CZSavedRegValue {
 public:
  CZSavedRegValue(HKEY root, const char* subKey, const char* name)
      : m_root(root), m_subKey(subKey), m_name(name) {
    DWORD size = sizeof(m_data);
    m_present = RegGetValueA(root, subKey, name, RRF_RT_ANY | RRF_NOEXPAND, &m_type, m_data,
                             &size) == ERROR_SUCCESS;
    m_size = size;
  }
  CZSavedRegValue(const CZSavedRegValue&) = delete;
  CZSavedRegValue& operator=(const CZSavedRegValue&) = delete;
  ~CZSavedRegValue() {
    HKEY key;
    if (RegOpenKeyExA(m_root, m_subKey.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    if (m_present)
      RegSetValueExA(key, m_name.c_str(), 0, m_type, m_data, m_size);
    else
      RegDeleteValueA(key, m_name.c_str());
    RegCloseKey(key);
  }

 private:
  HKEY m_root;
  std::string m_subKey, m_name;
  bool m_present = false;
  DWORD m_type = 0, m_size = 0;
  BYTE m_data[1024];
};
