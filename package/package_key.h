// The RSA public key that every package image must be signed with.
#pragma once

// Builds the compiled-in package key once per process; later calls change
// nothing. False when the key could not be built.
bool LoadPackageKey();
