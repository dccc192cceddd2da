#include "package_fixtures.h"

#include <windows.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "package/signature_record.h"
#include "test_support.h"

std::string PackageFixture(const std::string& name) {
  return TestProgramFolder() + "packages\\" + name;
}

const std::vector<CZPackedFile>& PackedFiles() {
  static const std::vector<CZPackedFile> files = [] {
    std::vector<CZPackedFile> list;
    for (const char* name : {"readme.txt", "sub\\helper.dat", "zcomp.dll"}) {
      list.push_back({name, ReadFileText(PackageFixture(std::string("content\\") + name))});
    }
    return list;
  }();
  return files;
}

CZBytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return CZBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WriteBytes(const std::string& path, const CZBytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  return static_cast<bool>(out);
}

CZImageLayout ReadLayout(const CZBytes& b) {
  CZImageLayout layout;
  layout.cabinetSize = ReadLittle32(&b[kCabinetSizeOffset]);
  layout.firstFile = ReadLittle32(&b[kFirstFileOffset]);
  layout.hasReserve = (ReadLittle16(&b[kCabinetFlagsOffset]) & kCabinetReservePresent) != 0;
  layout.headerReserve = layout.hasReserve ? ReadLittle16(&b[36]) : 0;
  layout.foldersStart = layout.hasReserve ? kReservedAreaOffset + layout.headerReserve : 36;
  return layout;
}

namespace {
void CollectFiles(const std::string& folder, const std::string& prefix,
                  std::vector<std::string>* names) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    std::string name = found.cFileName;
    if (name == "." || name == "..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      names->push_back(prefix + name + "\\");
      CollectFiles(folder + name + "\\", prefix + name + "\\", names);
    } else {
      names->push_back(prefix + name);
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}
}  // namespace

std::vector<std::string> ListFiles(const std::string& folder) {
  std::vector<std::string> names;
  CollectFiles(folder, "", &names);
  std::sort(names.begin(), names.end());
  return names;
}
