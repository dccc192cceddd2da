#include "tools/ini_text.h"

#include "net/setting_line.h"

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::string Unquoted(const std::string& value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    return value.substr(1, value.size() - 2);
  return value;
}
}  // namespace

std::string Trimmed(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

void CZIniText::Parse(const std::string& text) {
  m_sections.clear();
  CZIniSection* current = nullptr;
  size_t at = 0;
  int number = 0;
  while (at <= text.size()) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    const std::string line = Trimmed(text.substr(at, end - at));
    ++number;
    at = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      CZIniSection section;
      section.name = Trimmed(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      section.line = number;
      m_sections.push_back(section);
      current = &m_sections.back();
      continue;
    }
    if (current == nullptr) continue;  // lines before the first section are not read
    CZIniEntry entry;
    entry.line = number;
    const size_t equals = line.find('=');
    entry.hasValue = equals != std::string::npos;
    entry.key = Trimmed(line.substr(0, equals));
    if (entry.hasValue) entry.value = Unquoted(Trimmed(line.substr(equals + 1)));
    current->entries.push_back(entry);
  }
}

const CZIniSection* CZIniText::Section(const std::string& name) const {
  for (const CZIniSection& section : m_sections)
    if (EqualsNoCase(section.name, name)) return &section;
  return nullptr;
}

bool CZIniText::Get(const std::string& section, const std::string& key, std::string* value) const {
  const CZIniSection* found = Section(section);
  if (found == nullptr) return false;
  for (const CZIniEntry& entry : found->entries) {
    if (EqualsNoCase(entry.key, key)) {
      *value = entry.value;
      return true;
    }
  }
  return false;
}

std::string CZIniText::GetOr(const std::string& section, const std::string& key,
                             const std::string& fallback) const {
  std::string value;
  return Get(section, key, &value) ? value : fallback;
}

std::vector<std::string> CZIniText::KeyNames(const std::string& section) const {
  std::vector<std::string> names;
  const CZIniSection* found = Section(section);
  if (found == nullptr) return names;
  for (const CZIniEntry& entry : found->entries) {
    bool seen = false;
    for (const std::string& name : names) seen = seen || EqualsNoCase(name, entry.key);
    if (!seen && !entry.key.empty()) names.push_back(entry.key);
  }
  return names;
}

std::string CZIniText::KeyList(const std::string& section) const {
  std::string list;
  for (const std::string& name : KeyNames(section)) {
    list += name;
    list += '\0';
  }
  list += '\0';
  return list;
}
