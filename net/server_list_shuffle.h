// Reordering of a host client server list ("a;b;c"). No Win32 here.
#pragma once
#include <string>

// Reorders the ";"-separated items of text in place, drawing from the C
// runtime's generator seeded with seed: each position takes a random item,
// or the next free one after it when that is taken. Items, separators and
// length stay the same; empty items count as items.
void ShuffleServerList(std::string* text, unsigned seed);
