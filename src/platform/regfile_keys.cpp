// The key tree of a .reg document: keys and values looked up without regard
// to case, as in the Windows registry.
#include <algorithm>

#include "platform/name_rules.h"
#include "platform/regfile.h"

namespace zp::regfile {

Key* FindKey(Document& doc, std::string_view path) {
  for (Key& key : doc.keys) {
    if (NarrowNames::Equal(key.path, path)) return &key;
  }
  return nullptr;
}

const Key* FindKey(const Document& doc, std::string_view path) {
  return FindKey(const_cast<Document&>(doc), path);
}

Key& FindOrAddKey(Document& doc, std::string_view path) {
  if (Key* key = FindKey(doc, path)) return *key;
  doc.keys.push_back(Key{std::string(path), {}});
  return doc.keys.back();
}

Value* FindValue(Key& key, std::string_view name) {
  for (Value& value : key.values) {
    if (NarrowNames::Equal(value.name, name)) return &value;
  }
  return nullptr;
}

const Value* FindValue(const Key& key, std::string_view name) {
  return FindValue(const_cast<Key&>(key), name);
}

void SetValue(Key& key, std::string_view name, std::uint32_t type,
              std::vector<std::uint8_t> bytes) {
  if (Value* value = FindValue(key, name)) {
    value->type = type;
    value->bytes = std::move(bytes);
    return;
  }
  key.values.push_back(Value{std::string(name), type, std::move(bytes)});
}

bool KeyExists(const Document& doc, std::string_view path) {
  if (FindKey(doc, path)) return true;
  std::string prefix(path);
  prefix += '\\';
  return std::any_of(doc.keys.begin(), doc.keys.end(), [&](const Key& key) {
    return key.path.size() > prefix.size() && NarrowNames::StartsWith(key.path, prefix);
  });
}

std::vector<std::string> SubkeyNames(const Document& doc, std::string_view path) {
  std::string prefix(path);
  if (!prefix.empty()) prefix += '\\';
  std::vector<std::string> names;
  for (const Key& key : doc.keys) {
    if (key.path.size() <= prefix.size() || !NarrowNames::StartsWith(key.path, prefix)) continue;
    const std::string_view rest = std::string_view(key.path).substr(prefix.size());
    const std::string_view name = rest.substr(0, rest.find('\\'));
    // The first spelling met in file order names the subkey.
    const auto same = [&](const std::string& n) { return NarrowNames::Equal(n, name); };
    if (!name.empty() && std::none_of(names.begin(), names.end(), same)) {
      names.emplace_back(name);
    }
  }
  std::sort(names.begin(), names.end(),
            [](const std::string& a, const std::string& b) { return NarrowNames::Less(a, b); });
  return names;
}

}  // namespace zp::regfile
