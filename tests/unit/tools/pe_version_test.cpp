// The tool reads a file's version from its version resource as Windows
// does, and refuses, with a reason and without reading outside the bytes,
// an image whose headers or resource tree point elsewhere.
#include <gtest/gtest.h>

#include <functional>

#include "pe_builder.h"
#include "tools/pe_version.h"

namespace {
TEST(PeVersionTest, ReadsTheFixedFileVersionOfBothWidths) {
  for (bool wide : {false, true}) {
    CZPeShape shape;
    shape.wide = wide;
    shape.version[0] = 7;
    shape.version[1] = 65535;
    shape.version[2] = 3;
    shape.version[3] = 1200;
    CZVersion version;
    std::string reason;
    ASSERT_TRUE(ReadPeFileVersion(BuildPe(shape), &version, &reason)) << reason;
    EXPECT_EQ(7, version.major);
    EXPECT_EQ(65535, version.minor);
    EXPECT_EQ(3, version.build);
    EXPECT_EQ(1200, version.revision);
  }
}

struct CZBrokenPe {
  const char* name;
  std::function<void(std::vector<unsigned char>*, const CZPeMap&)> breakIt;
  const char* reason;
};

void PrintTo(const CZBrokenPe& c, std::ostream* os) { *os << c.name; }

class BrokenPeTest : public ::testing::TestWithParam<CZBrokenPe> {};

TEST_P(BrokenPeTest, RefusedWithItsReason) {
  CZPeMap map;
  std::vector<unsigned char> bytes = BuildPe(CZPeShape(), &map);
  GetParam().breakIt(&bytes, map);
  CZVersion version;
  std::string reason;
  EXPECT_FALSE(ReadPeFileVersion(bytes, &version, &reason));
  EXPECT_NE(std::string::npos, reason.find(GetParam().reason)) << reason;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BrokenPeTest,
    ::testing::Values(
        CZBrokenPe{"text", [](auto* b, auto&) { b->assign(64, 'x'); }, "no MZ header"},
        CZBrokenPe{"cut_before_dos_header", [](auto* b, auto&) { b->resize(40); }, "no MZ header"},
        CZBrokenPe{"pe_offset_past_the_end",
                   [](auto* b, auto&) { Put32(b, 0x3C, 0xFFFFFFF0u); }, "no PE header"},
        CZBrokenPe{"pe_offset_at_the_last_bytes",
                   [](auto* b, auto&) { Put32(b, 0x3C, uint32_t(b->size() - 2)); },
                   "no PE header"},
        CZBrokenPe{"optional_header_past_the_end",
                   [](auto* b, const CZPeMap& m) { Put16(b, m.peHeader + 20, 0xFFFF); },
                   "optional header is cut short"},
        CZBrokenPe{"unknown_magic", [](auto* b, const CZPeMap& m) { Put16(b, m.peHeader + 24, 0x107); },
                   "no resource directory"},
        CZBrokenPe{"two_data_directories",
                   [](auto* b, const CZPeMap& m) { Put32(b, m.peHeader + 24 + 92, 2); },
                   "no resource directory"},
        CZBrokenPe{"no_resources",
                   [](auto* b, const CZPeMap& m) { Put32(b, m.resourceDirectory, 0); },
                   "has no resources"},
        CZBrokenPe{"resources_outside_every_section",
                   [](auto* b, const CZPeMap& m) { Put32(b, m.resourceDirectory, 0x7FFF0000); },
                   "has no resources"},
        CZBrokenPe{"section_raw_data_past_the_end",
                   [](auto* b, const CZPeMap& m) { Put32(b, m.section + 20, 0x7FFFFFFF); },
                   "no version resource"},
        CZBrokenPe{"only_an_icon",
                   [](auto* b, auto&) { *b = BuildPe([] { CZPeShape s; s.withVersion = false; return s; }()); },
                   "no version resource"},
        CZBrokenPe{"endless_entry_count",
                   [](auto* b, auto&) { Put16(b, 0x200 + 14, 0xFFFF); Put32(b, 0x200 + 16, 24); },
                   "no version resource"},
        CZBrokenPe{"data_entry_pointing_far",
                   [](auto* b, const CZPeMap& m) { Put32(b, m.dataEntry, 0x7FFFFFF0); },
                   "no fixed file information"},
        CZBrokenPe{"data_larger_than_the_section",
                   [](auto* b, const CZPeMap& m) { Put32(b, m.dataEntry + 4, 0x10000); },
                   "no fixed file information"},
        CZBrokenPe{"file_cut_inside_the_version_resource",
                   [](auto* b, const CZPeMap& m) { b->resize(m.fixedInfo - 8); },
                   "no fixed file information"},
        CZBrokenPe{"wrong_signature",
                   [](auto* b, const CZPeMap& m) { Put32(b, m.fixedInfo, 0xFEEF04BC); },
                   "no fixed file information"},
        CZBrokenPe{"short_value",
                   [](auto* b, const CZPeMap& m) { Put16(b, m.fixedInfo - 38, 20); },
                   "no fixed file information"}),
    [](const ::testing::TestParamInfo<CZBrokenPe>& info) { return std::string(info.param.name); });
}  // namespace
