#include "net/server_list_shuffle.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

namespace {
std::vector<std::string> Items(const std::string& text) {
  std::vector<std::string> items;
  size_t start = 0;
  for (;;) {
    size_t sep = text.find(';', start);
    items.push_back(text.substr(start, sep == std::string::npos ? sep : sep - start));
    if (sep == std::string::npos) return items;
    start = sep + 1;
  }
}
}  // namespace

TEST(ShuffleServerListTest, EmptyAndSingleItemListsStayAsTheyAre) {
  std::string empty;
  ShuffleServerList(&empty, 7);
  EXPECT_EQ("", empty);
  std::string one = "chat1.example:5050";
  ShuffleServerList(&one, 7);
  EXPECT_EQ("chat1.example:5050", one);
}

TEST(ShuffleServerListTest, SameSeedGivesTheSameOrder) {
  std::string a = "a;b;c;d;e;f;g", b = a;
  ShuffleServerList(&a, 1234);
  ShuffleServerList(&b, 1234);
  EXPECT_EQ(a, b);
}

// Over many seeds every item keeps its count, empty items included, and the
// text keeps its length and its separators.
TEST(ShuffleServerListTest, EveryOrderIsAPermutationOfTheItems) {
  const std::vector<std::string> lists = {"s1;s2;s3;s4;s5", "a;;b;;", ";", "x;y;x;y;zz"};
  for (const std::string& list : lists) {
    std::vector<std::string> expected = Items(list);
    std::sort(expected.begin(), expected.end());
    std::map<std::string, int> firsts;
    for (unsigned seed = 0; seed < 500; ++seed) {
      std::string shuffled = list;
      ShuffleServerList(&shuffled, seed);
      ASSERT_EQ(list.size(), shuffled.size()) << list << " seed " << seed;
      std::vector<std::string> got = Items(shuffled);
      firsts[got[0]]++;
      std::sort(got.begin(), got.end());
      ASSERT_EQ(expected, got) << list << " seed " << seed;
    }
    // Every item value comes first for some seed.
    for (const std::string& item : expected) EXPECT_GT(firsts[item], 0) << list << " " << item;
  }
}

// Linear probing from a random start: with the generator's first draw fixed
// by the seed, the order follows from the draws.
TEST(ShuffleServerListTest, TakenItemsPassTheDrawToTheNextFreeOne) {
  for (unsigned seed = 0; seed < 50; ++seed) {
    srand(seed);
    std::vector<int> draws;
    for (int i = 0; i < 4; ++i) draws.push_back(rand() % 4);
    std::vector<bool> taken(4, false);
    std::string expected;
    const char* names[] = {"a", "b", "c", "d"};
    for (int j = 0; j < 4; ++j) {
      int k = draws[j];
      while (taken[k]) k = (k + 1) % 4;
      taken[k] = true;
      expected += (j ? ";" : "") + std::string(names[k]);
    }
    std::string list = "a;b;c;d";
    ShuffleServerList(&list, seed);
    EXPECT_EQ(expected, list) << "seed " << seed;
  }
}
