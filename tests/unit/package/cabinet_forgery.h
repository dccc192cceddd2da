// What a hostile update server can make of a genuine signed package without
// the private key: every change here leaves the signed region's bytes as they
// were, so the signature still verifies. Portable: the vendor tool's tests and
// the updater's gate tests run the same table.
#pragma once
#include <openssl/evp.h>

#include <functional>
#include <string>
#include <vector>

#include "cabinet_builder.h"

struct CZForgery {
  const char* name;
  std::function<CZBytes(const CZBytes& genuine)> make;
  // What the layout check says of it: a fragment, or several separated by
  // "|" when the image's shape decides which fault is met first.
  const char* fault;
};

// True when reason holds one of the fragments of fault.
bool SaysFault(const std::string& reason, const char* fault);

// Every forgery of the table, each made from one genuine image.
const std::vector<CZForgery>& Forgeries();

// Inserts data at offset and moves the header's and folder entries' offsets
// that lie at or behind it, as a forger keeps the signed region intact.
void InsertKeepingOffsets(CZBytes* image, size_t offset, const CZBytes& data);

// Stored data blocks that unpack to size bytes of the forger's text.
CZBytes ForgedBlocks(size_t size, uint8_t blockReserve, uint16_t* blockCount);

// True when the image's signature record and text verify over its signed
// region with key, by the updater's signature rules alone.
bool SignatureHolds(const CZBytes& image, EVP_PKEY* key);
