// CZWinInet: WinINet reached by name at run time. Each method carries the
// API's own name and signature; it returns 0 when the library is not loaded
// or the entry point cannot be found, leaving the last-error value alone.
#pragma once
#include <windows.h>
#include <wininet.h>

class CZWinInet {
 public:
  CZWinInet() = default;
  CZWinInet(const CZWinInet&) = delete;
  CZWinInet& operator=(const CZWinInet&) = delete;
  virtual ~CZWinInet();

  // Loads WININET.DLL; 1 when loaded, else 0.
  int Load();
  bool IsLoaded() const { return m_loaded != 0; }

  HINTERNET InternetOpenA(LPCSTR agent, DWORD accessType, LPCSTR proxy, LPCSTR proxyBypass,
                          DWORD flags);
  BOOL InternetCloseHandle(HINTERNET handle);
  BOOL InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read);
  BOOL InternetSetOptionA(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length);
  HINTERNET InternetConnectA(HINTERNET internet, LPCSTR server, INTERNET_PORT port, LPCSTR user,
                             LPCSTR password, DWORD service, DWORD flags, DWORD_PTR context);
  HINTERNET HttpOpenRequestA(HINTERNET connect, LPCSTR verb, LPCSTR object, LPCSTR version,
                             LPCSTR referrer, LPCSTR* acceptTypes, DWORD flags,
                             DWORD_PTR context);
  BOOL HttpSendRequestA(HINTERNET request, LPCSTR headers, DWORD headersLength, LPVOID optional,
                        DWORD optionalLength);
  BOOL InternetCrackUrlA(LPCSTR url, DWORD urlLength, DWORD flags, LPURL_COMPONENTSA components);
  BOOL HttpAddRequestHeadersA(HINTERNET request, LPCSTR headers, DWORD headersLength,
                              DWORD modifiers);
  BOOL HttpQueryInfoA(HINTERNET request, DWORD infoLevel, LPVOID buffer, LPDWORD bufferLength,
                      LPDWORD index);

 private:
  // Looks name up unless already cached; a failed lookup is tried again next time.
  template <typename Fn>
  Fn* Resolve(Fn*& slot, const char* name);

  int m_loaded = 0;
  HMODULE m_module = nullptr;
  decltype(&::InternetOpenA) m_pInternetOpenA = nullptr;
  decltype(&::InternetCloseHandle) m_pInternetCloseHandle = nullptr;
  decltype(&::InternetReadFile) m_pInternetReadFile = nullptr;
  decltype(&::InternetSetOptionA) m_pInternetSetOptionA = nullptr;
  decltype(&::InternetConnectA) m_pInternetConnectA = nullptr;
  decltype(&::HttpOpenRequestA) m_pHttpOpenRequestA = nullptr;
  decltype(&::HttpSendRequestA) m_pHttpSendRequestA = nullptr;
  decltype(&::InternetCrackUrlA) m_pInternetCrackUrlA = nullptr;
  decltype(&::HttpAddRequestHeadersA) m_pHttpAddRequestHeadersA = nullptr;
  decltype(&::HttpQueryInfoA) m_pHttpQueryInfoA = nullptr;
};
