#include "net/wininet_binding.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(WinInetBindingTest, NothingIsCalledBeforeLoad) {
  CZWinInet binding;
  SetLastError(12345);
  EXPECT_EQ(nullptr,
            binding.InternetOpenA("agent", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
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

TEST(WinInetBindingTest, DestructionFreesTheLoadedLibrary) {
  {
    CZWinInet binding;
    ASSERT_EQ(1, binding.Load());
    ASSERT_EQ(1, binding.Load());
    EXPECT_NE(nullptr, GetModuleHandleA("WININET.DLL"));
  }
  EXPECT_EQ(nullptr, GetModuleHandleA("WININET.DLL"));
}

TEST(WinInetBindingTest, EveryEntryPointIsReachedAfterLoad) {
  CZWinInet binding;
  ASSERT_EQ(1, binding.Load());
  HINTERNET internet =
      binding.InternetOpenA("agent", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
  ASSERT_NE(nullptr, internet);
  DWORD timeout = 1234;
  EXPECT_TRUE(binding.InternetSetOptionA(internet, INTERNET_OPTION_CONNECT_TIMEOUT, &timeout,
                                         sizeof(timeout)));
  // Port 9 on the loopback: nothing listens, so nothing is sent anywhere.
  HINTERNET connection = binding.InternetConnectA(internet, "127.0.0.1", 9, nullptr, nullptr,
                                                  INTERNET_SERVICE_HTTP, 0, 0);
  ASSERT_NE(nullptr, connection);
  const char* accept[] = {"*/*", nullptr};
  HINTERNET request = binding.HttpOpenRequestA(connection, "GET", "/", "HTTP/1.0", nullptr, accept,
                                               INTERNET_FLAG_RELOAD, 0);
  ASSERT_NE(nullptr, request);
  EXPECT_TRUE(binding.HttpAddRequestHeadersA(request, "X-Test: 1\r\n", 11, HTTP_ADDREQ_FLAG_ADD));
  char headers[512];
  DWORD size = sizeof(headers);
  EXPECT_TRUE(binding.HttpQueryInfoA(request,
                                     HTTP_QUERY_RAW_HEADERS_CRLF | HTTP_QUERY_FLAG_REQUEST_HEADERS,
                                     headers, &size, nullptr));
  EXPECT_NE(nullptr, strstr(headers, "X-Test: 1"));
  EXPECT_FALSE(binding.HttpSendRequestA(request, nullptr, 0, nullptr, 0));
  EXPECT_TRUE(binding.InternetCloseHandle(request));
  EXPECT_TRUE(binding.InternetCloseHandle(connection));
  EXPECT_TRUE(binding.InternetCloseHandle(internet));
}
