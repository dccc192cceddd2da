#include "site_fixture.h"

#include <gtest/gtest.h>
#include <openssl/rsa.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "pe_builder.h"
#include "tools/cab_image.h"
#include "tools/site_make.h"

namespace fs = std::filesystem;

std::string TestProgram(uint16_t major, uint16_t minor) {
  CZPeShape shape;
  shape.version[0] = major;
  shape.version[1] = minor;
  shape.version[2] = 0;
  shape.version[3] = 0;
  std::vector<unsigned char> bytes = BuildPe(shape);
  return std::string(bytes.begin(), bytes.end());
}

CZTestRelease::CZTestRelease()
    : m_release(m_scratch.path() + "/release"), m_site(m_scratch.path() + "/site") {
  WriteFiles(m_release, {{"bin\\zcomp.dll", TestProgram(5, 1)},
                         {"bin\\zupdater.exe", TestProgram(2, 0)},
                         {"bin\\setup.exe", TestProgram(5, 0)},
                         {"update.txt", "A new release is ready. Install it now?"},
                         {"update.html", "<html><zupdater><width=400 height=300>New!</html>"},
                         {"update.reg", "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\T]\r\n\"A\"=\"1\"\r\n"}});
  Describe(GoodDescription());
}

std::string CZTestRelease::GoodDescription() {
  return std::string("[site]\nBaseUrl=") + kTestBaseUrl +
         "\nDate=2024-01-01 00:00:00\nHttpServers=chat.test.example:80\n"
         "[updater]\nFile=bin/zupdater.exe\n"
         "[prompt]\nText=update.txt\nPage=update.html\n"
         "[registry]\nFile=update.reg\nVersion=5,0,2,0\n"
         "[component zcomp.dll]\nFile=bin/zcomp.dll\nRequirement=4\nRegisterServer=1\n"
         "clsid={0BE35203-8F91-11CE-9DE3-00AA004BB851}\n"
         "[component zplug.dll]\nFile=bin/zcomp.dll\nDestDir=1,plugins\\\n"
         "[client release]\nFile=bin/setup.exe\nVersion=5,0,0,0\nSilent=0\nRequirement=3\n"
         "[feature chat]\nTheme=blue\nEmoticons=1\n";
}

void CZTestRelease::Describe(const std::string& text) const {
  WriteFiles(m_release, {{"release.ini", text}});
}

bool CZTestRelease::Make(std::string* reasons, std::string* notes) const {
  CZReleaseDescription release;
  if (!ReadReleaseDescription(DescriptionPath(), &release, reasons)) return false;
  std::string ignored;
  return MakeSite(release, TestKey(), m_site, reasons, notes != nullptr ? notes : &ignored);
}

CZSiteReport CZTestRelease::Check(const CZSiteCheckOptions& options) const {
  return CheckSite(TestKey(), m_site, options);
}

std::string CZTestRelease::Read(const std::string& relative) const {
  std::ifstream in(m_site + "/" + relative, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void CZTestRelease::Write(const std::string& relative, const std::string& text) const {
  std::ofstream(m_site + "/" + relative, std::ios::binary) << text;
}

void CZTestRelease::Replace(const std::string& relative, const std::string& from,
                            const std::string& to) const {
  std::string text = Read(relative);
  const size_t at = text.find(from);
  ASSERT_NE(std::string::npos, at) << from << " in " << relative;
  Write(relative, text.replace(at, from.size(), to));
}

void CZTestRelease::ReplaceAll(const std::string& relative, const std::string& from,
                               const std::string& to) const {
  std::string text = Read(relative);
  size_t count = 0;
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
    ++count;
  }
  ASSERT_NE(0u, count) << from << " in " << relative;
  Write(relative, text);
}

void CZTestRelease::Repack(const std::string& relative, const std::string& name,
                           const std::string& content, EVP_PKEY* key) const {
  CZCabImage image;
  std::string reason;
  ASSERT_TRUE(ParseCabImage(PackFiles({{name, content}}, CZPackOptions()), &image, &reason));
  CZBytes signedImage;
  ASSERT_TRUE(SignImage(image, key, CZSignOptions(), &signedImage, &reason)) << reason;
  ASSERT_TRUE(WriteWholeFile(m_site + "/" + relative, signedImage));
}
