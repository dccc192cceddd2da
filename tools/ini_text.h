// INI text read the way the system's profile functions read it: sections
// and keys matched without regard to case, the first of equal names wins,
// names and values trimmed, one pair of enclosing quotes dropped from a
// value. Lines starting with ";" are comments. Used for release
// descriptions and for reading a site's manifest as the updater will.
#pragma once
#include <string>
#include <vector>

struct CZIniEntry {
  std::string key;
  std::string value;
  bool hasValue = false;  // the line had an "="
  int line = 0;
};

struct CZIniSection {
  std::string name;
  std::vector<CZIniEntry> entries;  // every line of the section, in file order
  int line = 0;
};

class CZIniText {
 public:
  void Parse(const std::string& text);

  // The first section of that name; null when there is none.
  const CZIniSection* Section(const std::string& name) const;
  // The value of the first such key of the first such section.
  bool Get(const std::string& section, const std::string& key, std::string* value) const;
  std::string GetOr(const std::string& section, const std::string& key,
                    const std::string& fallback) const;
  // The key names of a section as the profile functions list them: each
  // name once (the first), in file order.
  std::vector<std::string> KeyNames(const std::string& section) const;
  // That list in its binary form: zero-terminated names, ending with an
  // empty one.
  std::string KeyList(const std::string& section) const;
  const std::vector<CZIniSection>& Sections() const { return m_sections; }

 private:
  std::vector<CZIniSection> m_sections;
};

std::string Trimmed(const std::string& text);
