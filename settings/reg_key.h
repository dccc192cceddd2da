// CZRegKey: the scoped registry key through which every registry read and
// write goes. Failures are reported by results only; it never logs.
#pragma once
#include <windows.h>

#include <vector>

class CZRegKey {
 public:
  CZRegKey();
  // Opens subKey under root with full access; when that is refused (or the
  // key is missing there) the same path is opened under HKEY_CURRENT_USER.
  CZRegKey(const char* subKey, HKEY root);
  CZRegKey(const CZRegKey&) = delete;
  CZRegKey& operator=(const CZRegKey&) = delete;
  virtual ~CZRegKey();

  // Creates or opens subKey under root; no fallback. 0 on success, 1 on failure.
  int Create(const char* subKey, HKEY root);

  // The out value is 0 unless the read succeeds; at most 4 bytes are read.
  bool QueryDword(const char* name, DWORD* value) const;
  // The stored value, or 0 when it cannot be read.
  DWORD GetDword(const char* name) const;
  // The buffer holds the empty text unless the read succeeds; "" names the
  // key's default value. A value longer than the buffer fails.
  bool QueryString(const char* name, char* buffer, DWORD size) const;

  // Any value as stored: its type and bytes. False, both untouched, when it
  // is missing or cannot be read.
  bool QueryValue(const char* name, DWORD* type, std::vector<BYTE>* data) const;

  // Platform error codes, 0 on success.
  LONG SetString(const char* name, const char* text);
  LONG SetDword(const char* name, DWORD value);
  LONG SetValue(const char* name, DWORD type, const std::vector<BYTE>& data);
  LONG DeleteValue(const char* name);
  // Writes the key's changes to the disk before returning.
  LONG Flush();

  // Whether the key holds a value of that name.
  bool HasValue(const char* name) const;
  // How many subkeys and values the key holds directly; false, both 0, when
  // it cannot be asked.
  bool CountEntries(DWORD* subkeys, DWORD* values) const;
  // The name of the subkey at index; false past the last one.
  bool SubkeyName(DWORD index, char* buffer, DWORD size) const;

  bool IsOpen() const { return m_hKey != nullptr; }

 private:
  void Close();

  HKEY m_hKey;
};
