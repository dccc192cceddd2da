#include "net/server_list_shuffle.h"

#include <cstdlib>
#include <vector>

void ShuffleServerList(std::string* text, unsigned seed) {
  if (text->empty()) return;
  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    size_t sep = text->find(';', start);
    items.push_back(text->substr(start, sep == std::string::npos ? std::string::npos : sep - start));
    if (sep == std::string::npos) break;
    start = sep + 1;
  }
  const size_t n = items.size();
  std::vector<bool> taken(n, false);
  std::string output;
  output.reserve(text->size());
  srand(seed);
  for (size_t j = 0; j < n; ++j) {
    size_t k = static_cast<size_t>(rand()) % n;
    while (taken[k]) k = (k + 1) % n;
    taken[k] = true;
    if (j != 0) output += ';';
    output += items[k];
  }
  *text = output;
}
