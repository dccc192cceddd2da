// The acceptance gate against forgeries of genuine packages signed by this
// build's key (never re-signed), and against every genuine shape of package
// the vendor tool makes. zpkg verify's own check is asked about each image
// too, and must answer as the gate does.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "cabinet_forgery.h"
#include "common/update_log.h"
#include "package/accept_image.h"
#include "package/package_key.h"
#include "package_fixtures.h"
#include "test_support.h"
#include "tools/verify_image.h"

void PrintTo(const CZForgery& f, std::ostream* os) { *os << f.name; }

namespace {
const char kOld[] = "old installed version\r\n";

class GateTest {
 protected:
  void StartGate() {
    ASSERT_TRUE(LoadPackageKey());
    CreateDirectoryA((m_logFolder / "logs").c_str(), nullptr);
    StartUpdateLog(m_logFolder.path().c_str());
  }
  // Hands bytes to the gate as a component image whose target is zcomp.dll.
  bool RunGate(const CZBytes& image) {
    m_image = m_folder / "zcomp.dl_";
    EXPECT_TRUE(WriteBytes(m_image, image));
    bool accepted =
        ExtractSignedImage(m_image.c_str(), (m_folder / "zcomp.dll").c_str(), 0);
    EXPECT_FALSE(FileExists(m_image));
    return accepted;
  }
  std::vector<std::string> LogLines() {
    StopUpdateLog();
    std::string text = ReadFileText(m_logFolder / "logs\\updater.log");
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
      lines.push_back(text.substr(start + 18, end - start - 18));  // without date and time
    }
    return lines;
  }

  CZTempFolder m_folder{"gate"};
  CZTempFolder m_logFolder{"gatelog"};
  std::string m_image;
};

class GateForgeryTest : public GateTest,
                        public ::testing::TestWithParam<std::tuple<CZForgery, const char*>> {
 protected:
  void SetUp() override { StartGate(); }
  void TearDown() override { StopUpdateLog(); }
};
}  // namespace

TEST_P(GateForgeryTest, RefusedWithTheInstalledFilesUnchanged) {
  const CZForgery& forgery = std::get<0>(GetParam());
  const CZBytes genuine = ReadBytes(PackageFixture(std::get<1>(GetParam())));
  ASSERT_FALSE(genuine.empty());
  const CZBytes forged = forgery.make(genuine);
  // Without the private key: the signature still holds over the forgery.
  ASSERT_TRUE(SignatureHolds(forged, PackageKey()));
  std::string reason;
  EXPECT_FALSE(VerifyImage(forged, PackageKey(), &reason));
  EXPECT_TRUE(SaysFault(reason, forgery.fault)) << reason;

  CreateDirectoryA((m_folder / "sub").c_str(), nullptr);
  for (const CZPackedFile& file : PackedFiles())
    ASSERT_TRUE(WriteFileText(m_folder / file.storedName, kOld));
  const std::vector<std::string> before = ListFiles(m_folder.path());

  EXPECT_FALSE(RunGate(forged));
  for (const CZPackedFile& file : PackedFiles())
    EXPECT_EQ(kOld, ReadFileText(m_folder / file.storedName)) << file.storedName;
  EXPECT_EQ(before, ListFiles(m_folder.path()));
  std::vector<std::string> lines = LogLines();
  ASSERT_EQ(3u, lines.size());
  EXPECT_EQ("File signed correctly " + m_image, lines[0]);
  EXPECT_EQ(0u, lines[1].find("Package " + m_image + " is not laid out as signed: ")) << lines[1];
  EXPECT_TRUE(SaysFault(lines[1], forgery.fault)) << lines[1];
  EXPECT_EQ("Can not extract " + m_image, lines[2]);
}

INSTANTIATE_TEST_SUITE_P(
    Forgeries, GateForgeryTest,
    ::testing::Combine(::testing::ValuesIn(Forgeries()),
                       ::testing::Values("p0.qpk", "p1.qpk", "stored_p1.qpk", "reserved_p1.qpk",
                                         "folders_p1.qpk", "reserves_p0.qpk")),
    [](const ::testing::TestParamInfo<std::tuple<CZForgery, const char*>>& info) {
      std::string package = std::get<1>(info.param);
      return std::string(std::get<0>(info.param).name) + "_" + package.substr(0, package.find('.'));
    });

namespace {
struct CZShapeFixture {
  const char* package;
  const char* content;  // the folder it was packed from, beside it
};
void PrintTo(const CZShapeFixture& c, std::ostream* os) { *os << c.package; }

class GateShapeTest : public GateTest, public ::testing::TestWithParam<CZShapeFixture> {
 protected:
  void SetUp() override { StartGate(); }
  void TearDown() override { StopUpdateLog(); }
};
}  // namespace

TEST_P(GateShapeTest, GenuinePackageInstallsEveryFile) {
  const CZBytes image = ReadBytes(PackageFixture(GetParam().package));
  ASSERT_FALSE(image.empty());
  std::string reason;
  EXPECT_TRUE(VerifyImage(image, PackageKey(), &reason)) << reason;
  ASSERT_TRUE(RunGate(image));
  const std::string content = PackageFixture(GetParam().content) + "\\";
  const std::vector<std::string> packed = ListFiles(content);
  ASSERT_FALSE(packed.empty());
  EXPECT_EQ(packed, ListFiles(m_folder.path()));
  for (const std::string& name : packed) {
    if (name.back() == '\\') continue;
    ASSERT_EQ(ReadBytes(content + name), ReadBytes(m_folder / name)) << name;
  }
  EXPECT_EQ(std::vector<std::string>{"File signed correctly " + m_image}, LogLines());
}

INSTANTIATE_TEST_SUITE_P(Shapes, GateShapeTest,
                         ::testing::Values(CZShapeFixture{"p0.qpk", "content"},
                                           CZShapeFixture{"p1.qpk", "content"},
                                           CZShapeFixture{"stored_p0.qpk", "content"},
                                           CZShapeFixture{"stored_p1.qpk", "content"},
                                           CZShapeFixture{"reserved_p0.qpk", "content"},
                                           CZShapeFixture{"reserved_p1.qpk", "content"},
                                           CZShapeFixture{"multiblock.qpk", "content_multi"},
                                           CZShapeFixture{"folders_p1.qpk", "content"},
                                           CZShapeFixture{"folders_stored_p0.qpk", "content_multi"},
                                           CZShapeFixture{"reserves_p0.qpk", "content"},
                                           CZShapeFixture{"many_p1.qpk", "content_many"},
                                           CZShapeFixture{"empty_p0.qpk", "content_empty"},
                                           CZShapeFixture{"onlyempty_p1.qpk", "content_onlyempty"}),
                         [](const ::testing::TestParamInfo<CZShapeFixture>& info) {
                           std::string package = info.param.package;
                           return package.substr(0, package.find('.'));
                         });
