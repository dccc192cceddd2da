#include "driver/updater.h"

namespace {
const char kUserAgent[] = "Mozilla Compatible/2.0 (WinNT; I; NCC/2.0)";
}

int CZUpdater::OpenInternet() {
  if (!m_winInet->Load()) return 0;
  m_hInternet = m_winInet->InternetOpenA(kUserAgent, INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                         nullptr, 0);
  return m_hInternet != nullptr ? 1 : 0;
}
