#include "net/wininet_binding.h"

#include <gtest/gtest.h>

TEST(WinInetBindingTest, NothingIsCalledBeforeLoad) {
  CZWinInet binding;
  SetLastError(12345);
  EXPECT_EQ(nullptr, binding.InternetOpenA("agent", INTERNET_OPEN_TYPE_PRECONFIG, nullptr,
                                           nullptr, 0));
  EXPECT_FALSE(binding.InternetCloseHandle(nullptr));
  EXPECT_EQ(12345u, GetLastError());
  EXPECT_EQ(nullptr, GetModuleHandleA("WININET.DLL"));
}

TEST(WinInetBindingTest, LoadReachesTheEntryPoints) {
  CZWinInet binding;
  ASSERT_EQ(1, binding.Load());
  HINTERNET internet =
      binding.InternetOpenA("agent", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  ASSERT_NE(nullptr, internet);
  URL_COMPONENTSA parts = {};
  parts.dwStructSize = sizeof(parts);
  char host[64] = "";
  parts.lpszHostName = host;
  parts.dwHostNameLength = sizeof(host);
  EXPECT_TRUE(binding.InternetCrackUrlA("http://example.test:8080/a/b.html", 0, 0, &parts));
  EXPECT_STREQ("example.test", host);
  EXPECT_EQ(8080, parts.nPort);
  EXPECT_TRUE(binding.InternetCloseHandle(internet));
}
