#include "net/wininet_binding.h"

CZWinInet::~CZWinInet() {
  if (m_module != nullptr) FreeLibrary(m_module);
}

int CZWinInet::Load() {
  // Loading again would take a second reference that the destructor never gives back.
  if (m_loaded) return m_loaded;
  m_module = LoadLibraryA("WININET.DLL");
  m_loaded = m_module != nullptr ? 1 : 0;
  // The calls a request's worker thread makes (net/request_worker.cpp) are
  // looked up here, so that the threads only ever read their pointers.
  Resolve(m_pHttpSendRequestA, "HttpSendRequestA");
  Resolve(m_pInternetReadFile, "InternetReadFile");
  return m_loaded;
}

template <typename Fn>
Fn* CZWinInet::Resolve(Fn*& slot, const char* name) {
  if (!m_loaded) return nullptr;
  if (slot == nullptr)
    slot = reinterpret_cast<Fn*>(reinterpret_cast<void*>(GetProcAddress(m_module, name)));
  return slot;
}

// Each forwarder: 0 when the library or the entry point is missing, else the
// entry point's own result.
#define ZU_FORWARD(name, ...)          \
  auto fn = Resolve(m_p##name, #name); \
  return fn != nullptr ? fn(__VA_ARGS__) : decltype(fn(__VA_ARGS__))()

HINTERNET CZWinInet::InternetOpenA(LPCSTR agent, DWORD accessType, LPCSTR proxy, LPCSTR proxyBypass,
                                   DWORD flags) {
  ZU_FORWARD(InternetOpenA, agent, accessType, proxy, proxyBypass, flags);
}
BOOL CZWinInet::InternetCloseHandle(HINTERNET handle) { ZU_FORWARD(InternetCloseHandle, handle); }
BOOL CZWinInet::InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead, LPDWORD read) {
  ZU_FORWARD(InternetReadFile, file, buffer, toRead, read);
}
BOOL CZWinInet::InternetSetOptionA(HINTERNET handle, DWORD option, LPVOID buffer, DWORD length) {
  ZU_FORWARD(InternetSetOptionA, handle, option, buffer, length);
}
HINTERNET CZWinInet::InternetConnectA(HINTERNET internet, LPCSTR server, INTERNET_PORT port,
                                      LPCSTR user, LPCSTR password, DWORD service, DWORD flags,
                                      DWORD_PTR context) {
  ZU_FORWARD(InternetConnectA, internet, server, port, user, password, service, flags, context);
}
HINTERNET CZWinInet::HttpOpenRequestA(HINTERNET connect, LPCSTR verb, LPCSTR object, LPCSTR version,
                                      LPCSTR referrer, LPCSTR* acceptTypes, DWORD flags,
                                      DWORD_PTR context) {
  ZU_FORWARD(HttpOpenRequestA, connect, verb, object, version, referrer, acceptTypes, flags,
             context);
}
BOOL CZWinInet::HttpSendRequestA(HINTERNET request, LPCSTR headers, DWORD headersLength,
                                 LPVOID optional, DWORD optionalLength) {
  ZU_FORWARD(HttpSendRequestA, request, headers, headersLength, optional, optionalLength);
}
BOOL CZWinInet::InternetCrackUrlA(LPCSTR url, DWORD urlLength, DWORD flags,
                                  LPURL_COMPONENTSA components) {
  ZU_FORWARD(InternetCrackUrlA, url, urlLength, flags, components);
}
BOOL CZWinInet::HttpAddRequestHeadersA(HINTERNET request, LPCSTR headers, DWORD headersLength,
                                       DWORD modifiers) {
  ZU_FORWARD(HttpAddRequestHeadersA, request, headers, headersLength, modifiers);
}
BOOL CZWinInet::HttpQueryInfoA(HINTERNET request, DWORD infoLevel, LPVOID buffer,
                               LPDWORD bufferLength, LPDWORD index) {
  ZU_FORWARD(HttpQueryInfoA, request, infoLevel, buffer, bufferLength, index);
}
#undef ZU_FORWARD
