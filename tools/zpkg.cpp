// zpkg: the vendor's package tool. Makes the key pair, compiles the public
// key into the updater's key header, packs files into a cabinet, signs it,
// verifies it by the updater's rules, shows what is inside and computes the
// manifest's Size1 and Size2 values for it; makes a whole update site from a
// release description and checks a site as the updater will read it.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "package/cabinet_layout.h"
#include "package/signature_record.h"
#include "tools/cab_image.h"
#include "tools/cab_pack.h"
#include "tools/key_files.h"
#include "tools/memory_source.h"
#include "tools/package_sizes.h"
#include "tools/release_description.h"
#include "tools/signing.h"
#include "tools/site_check.h"
#include "tools/site_make.h"
#include "tools/verify_image.h"

namespace {
const char kUsage[] =
    "usage:\n"
    "  zpkg keygen PRIVATE.pem PUBLIC.pem\n"
    "  zpkg keyheader PUBLIC.pem OUT.h\n"
    "  zpkg pack [--stored] [--reserve N] [--folder-reserve N] [--block-reserve N]\n"
    "            [--files-per-folder N] OUT.cab ENTRY...   (ENTRY: FILE, FOLDER or NAME=FILE)\n"
    "  zpkg sign [--placement 0|1] [--digest-info] [--unchecked] PRIVATE.pem IMAGE [OUT]\n"
    "  zpkg verify PUBLIC.pem IMAGE\n"
    "  zpkg inspect IMAGE\n"
    "  zpkg sizes IMAGE\n"
    "  zpkg site [--key PRIVATE.pem] [--base-url URL] RELEASE.ini OUT\n"
    "  zpkg check-site [--base-url URL] [--installed VERSION]\n"
    "                  [--locale L] [--cobrand C] [--ligans 0|1] PUBLIC.pem SITE [PAGE]\n";

int Fail(const std::string& reason) {
  fprintf(stderr, "zpkg: %s\n", reason.c_str());
  return 1;
}

int Usage() {
  fputs(kUsage, stderr);
  return 2;
}

bool ParseNumber(const std::string& text, unsigned long max, unsigned long* value) {
  char* end = nullptr;
  *value = strtoul(text.c_str(), &end, 10);
  return !text.empty() && *end == 0 && *value <= max;
}

int Pack(std::vector<std::string> args) {
  CZPackOptions options;
  while (!args.empty() && args[0].rfind("--", 0) == 0) {
    unsigned long value = 0;
    const bool valued = args.size() > 1;
    if (args[0] == "--stored") {
      options.compress = false;
      args.erase(args.begin());
      continue;
    }
    if (valued && args[0] == "--reserve" && ParseNumber(args[1], 60000, &value)) {
      options.headerReserve = static_cast<uint16_t>(value);
    } else if (valued && args[0] == "--folder-reserve" && ParseNumber(args[1], 255, &value)) {
      options.folderReserve = static_cast<uint8_t>(value);
    } else if (valued && args[0] == "--block-reserve" && ParseNumber(args[1], 255, &value)) {
      options.blockReserve = static_cast<uint8_t>(value);
    } else if (valued && args[0] == "--files-per-folder" && ParseNumber(args[1], 0xFFFF, &value) &&
               value > 0) {
      options.filesPerFolder = value;
    } else {
      return Usage();
    }
    args.erase(args.begin(), args.begin() + 2);
  }
  if (args.size() < 2) return Usage();
  std::vector<CZPackEntry> entries;
  std::string reason;
  CZBytes cabinet;
  if (!CollectPackEntries({args.begin() + 1, args.end()}, &entries, &reason) ||
      !PackCabinet(entries, options, &cabinet, &reason)) {
    return Fail(reason);
  }
  if (!WriteWholeFile(args[0], cabinet)) return Fail("cannot write " + args[0]);
  return 0;
}

int Sign(std::vector<std::string> args) {
  CZSignOptions options;
  while (!args.empty() && args[0].rfind("--", 0) == 0) {
    unsigned long placement = 0;
    if (args[0] == "--digest-info") {
      options.digestInfo = true;
      args.erase(args.begin());
    } else if (args[0] == "--unchecked") {
      options.unchecked = true;
      args.erase(args.begin());
    } else if (args[0] == "--placement" && args.size() > 1 &&
               ParseNumber(args[1], 255, &placement)) {
      options.placement = static_cast<uint8_t>(placement);
      args.erase(args.begin(), args.begin() + 2);
    } else {
      return Usage();
    }
  }
  if (args.size() != 2 && args.size() != 3) return Usage();
  std::string reason;
  CZEvpPkey key = LoadPrivateKey(args[0], &reason);
  if (!key) return Fail(reason);
  CZCabImage image;
  CZBytes signedImage;
  if (!LoadCabImage(args[1], &image, &reason) ||
      !SignImage(image, key.get(), options, &signedImage, &reason)) {
    return Fail(reason);
  }
  const std::string& out = args.size() == 3 ? args[2] : args[1];
  if (!WriteWholeFile(out, signedImage)) return Fail("cannot write " + out);
  return 0;
}

int Verify(const std::vector<std::string>& args) {
  if (args.size() != 2) return Usage();
  std::string reason;
  CZEvpPkey key = LoadPublicKey(args[0], &reason);
  if (!key) return Fail(reason);
  CZBytes bytes;
  if (!ReadWholeFile(args[1], &bytes)) return Fail("cannot read " + args[1]);
  if (!VerifyImage(bytes, key.get(), &reason)) {
    printf("%s: NOT verified: %s\n", args[1].c_str(), reason.c_str());
    return 1;
  }
  printf("%s: verified\n", args[1].c_str());
  return 0;
}

void PrintRecord(const CZBytes& bytes, size_t at, const char* where) {
  CZSignatureRecord record;
  if (at + kSignatureRecordSize > bytes.size() || !ParseSignatureRecord(&bytes[at], &record)) {
    printf("  %s: no SIGN record\n", where);
    return;
  }
  size_t available = bytes.size() - at - kSignatureRecordSize;
  printf("  %s: SIGN record, placement flag %u, text length %u%s\n", where, record.placement,
         record.textLength, record.textLength > available ? " (cut short)" : "");
}

int Inspect(const std::vector<std::string>& args) {
  if (args.size() != 1) return Usage();
  CZCabImage image;
  std::string reason;
  if (!LoadCabImage(args[0], &image, &reason)) return Fail(reason);
  printf("cabinet %s: %zu bytes on disk, declared size %u, first file entry at %u\n",
         args[0].c_str(), image.bytes.size(), image.cabinetSize, image.firstFile);
  printf("  flags 0x%04x, set id %u, cabinet index %u\n", image.flags, image.setId,
         image.cabinetIndex);
  if (image.hasReserve) {
    printf("  reserved area: header %u bytes, per folder %u, per data block %u\n",
           image.headerReserve, image.folderReserve, image.dataReserve);
  }
  printf("  signed region: bytes %u to %u\n", image.firstFile, image.cabinetSize);
  static const char* const kMethods[] = {"stored", "MSZIP", "Quantum", "LZX"};
  for (size_t i = 0; i < image.folders.size(); ++i) {
    const CZCabFolder& f = image.folders[i];
    const unsigned method = f.compression & 0x000F;
    printf("  folder %zu: data at %u, %u blocks, %s (type 0x%04x)\n", i, f.dataOffset, f.blockCount,
           method < 4 ? kMethods[method] : "unknown method", f.compression);
  }
  for (const CZCabFile& f : image.files) {
    printf(
        "  file %-40s %10u bytes, folder %u at %u, %04u-%02u-%02u %02u:%02u:%02u, attributes "
        "0x%02x\n",
        f.name.c_str(), f.size, f.folder, f.folderOffset, 1980 + (f.date >> 9), (f.date >> 5) & 15,
        f.date & 31, f.time >> 11, (f.time >> 5) & 63, (f.time & 31) * 2, f.attributes);
  }
  if (image.hasReserve) PrintRecord(image.bytes, kReservedAreaOffset, "reserved area");
  PrintRecord(image.bytes, image.cabinetSize, "after the cabinet");
  CZMemorySource source(image.bytes);
  std::string fault;
  printf("  layout: %s\n", CheckCabinetLayout(source, &fault)
                               ? "as signed (the decompressor reads only the signed region)"
                               : fault.c_str());
  return 0;
}

// The lines a vendor copies into the component's manifest section.
int Sizes(const std::vector<std::string>& args) {
  if (args.size() != 1) return Usage();
  CZPackageSizes sizes;
  std::string reason;
  if (!ComputePackageSizes(args[0], &sizes, &reason)) return Fail(reason);
  printf("Size1=%u\nSize2=%u\n", sizes.size1, sizes.size2);
  return 0;
}

// Options of the form --name VALUE, taken from the front of args.
bool TakeOption(std::vector<std::string>* args, const char* name, std::string* value) {
  if (args->size() < 2 || (*args)[0] != name) return false;
  *value = (*args)[1];
  args->erase(args->begin(), args->begin() + 2);
  return true;
}

int Site(std::vector<std::string> args) {
  std::string keyPath, baseUrl;
  while (TakeOption(&args, "--key", &keyPath) || TakeOption(&args, "--base-url", &baseUrl)) {
  }
  if (args.size() != 2) return Usage();
  CZReleaseDescription release;
  std::string faults, notes;
  if (!ReadReleaseDescription(args[0], &release, &faults)) {
    fputs(faults.c_str(), stderr);
    return Fail("the release description is refused (above)");
  }
  if (!baseUrl.empty()) {
    if (baseUrl.back() != '/') baseUrl += '/';
    release.baseUrl = baseUrl;
  }
  if (keyPath.empty()) return Fail("no signing key: give --key PRIVATE.pem");
  CZEvpPkey key = LoadPrivateKey(keyPath, &faults);
  if (!key) return Fail(faults);
  const bool made = MakeSite(release, key.get(), args[1], &faults, &notes);
  fputs(notes.c_str(), stdout);
  if (!made) {
    fputs(faults.c_str(), stderr);
    return Fail("no site made: the updater would refuse what is above");
  }
  printf("site made in %s for %s: %zu edition%s, %zu components%s%s%s\n", args[1].c_str(),
         release.baseUrl.c_str(), release.editions.size(), release.editions.size() == 1 ? "" : "s",
         release.components.size(), release.updaterFile.empty() ? "" : ", the updater",
         release.hasRelease ? ", a client release" : "",
         release.registryFile.empty() ? "" : ", a registry script");
  return 0;
}

int CheckSiteCommand(std::vector<std::string> args) {
  CZSiteCheckOptions options;
  std::string installed, ligans;
  CZClientEdition& client = options.client;
  bool asClient = false;
  for (;;) {
    if (TakeOption(&args, "--base-url", &options.baseUrl) ||
        TakeOption(&args, "--installed", &installed))
      continue;
    // One client's view: what a client with these registry values fetches.
    if (TakeOption(&args, "--locale", &client.locale) ||
        TakeOption(&args, "--cobrand", &client.cobrand) || TakeOption(&args, "--ligans", &ligans)) {
      asClient = true;
      continue;
    }
    break;
  }
  if (args.size() != 2 && args.size() != 3) return Usage();
  if (asClient) {
    if (!ligans.empty() && ligans != "0" && ligans != "1") return Fail("--ligans is 0 or 1");
    client.ligans = ligans == "1";
    client.name = "asked for";
    options.hasClient = true;
  }
  if (!installed.empty()) {
    if (!ParseExactVersionText(installed.c_str(), &options.installed))
      return Fail("--installed " + installed + " is not a version such as 5,1,0,0");
    options.hasInstalled = true;
  }
  if (args.size() == 3) options.page = args[2];
  std::string reason;
  CZEvpPkey key = LoadPublicKey(args[0], &reason);
  if (!key) return Fail(reason);
  const CZSiteReport report = CheckSite(key.get(), args[1], options);
  for (const std::string& line : report.checked) printf("ok: %s\n", line.c_str());
  for (const CZSiteProblem& warning : report.warnings)
    printf("warning: %s: %s\n", warning.file.c_str(), warning.reason.c_str());
  for (const CZSiteProblem& problem : report.problems)
    printf("%s: %s\n", problem.file.c_str(), problem.reason.c_str());
  if (report.problems.empty()) {
    printf("site %s: no problem found\n", args[1].c_str());
    return 0;
  }
  printf("site %s: %zu problem%s\n", args[1].c_str(), report.problems.size(),
         report.problems.size() == 1 ? "" : "s");
  return 1;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage();
  const std::string command = argv[1];
  std::vector<std::string> args(argv + 2, argv + argc);
  std::string reason;
  if (command == "keygen") {
    if (args.size() != 2) return Usage();
    return GenerateKeyPair(args[0], args[1], &reason) ? 0 : Fail(reason);
  }
  if (command == "keyheader") {
    if (args.size() != 2) return Usage();
    return WriteKeyHeader(args[0], args[1], &reason) ? 0 : Fail(reason);
  }
  if (command == "pack") return Pack(args);
  if (command == "sign") return Sign(args);
  if (command == "verify") return Verify(args);
  if (command == "inspect") return Inspect(args);
  if (command == "sizes") return Sizes(args);
  if (command == "site") return Site(args);
  if (command == "check-site") return CheckSiteCommand(args);
  return Usage();
}
