// Small Windows program images made byte by byte: a PE32 (or PE32+) file
// with one resource section holding a version resource, for the native
// tests of the tool's version reading. Where each field stands is given so
// that a test can break one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cabinet_builder.h"  // Put16 and Put32

struct CZPeShape {
  uint16_t version[4] = {5, 1, 0, 0};
  bool wide = false;          // PE32+ (64-bit) instead of PE32
  bool withVersion = true;    // false: the resource section holds no version resource
  bool withResources = true;  // false: no resource directory at all
};

struct CZPeMap {
  size_t peHeader = 0;         // "PE\0\0"
  size_t resourceDirectory = 0;  // the data directory entry of the resources
  size_t section = 0;          // the section table entry
  size_t dataEntry = 0;        // the version resource's data entry
  size_t fixedInfo = 0;        // VS_FIXEDFILEINFO
};

std::vector<unsigned char> BuildPe(const CZPeShape& shape, CZPeMap* map = nullptr);
