// The regedit text format read: .reg text parsed into a document, and .reg
// files loaded.
#include <cerrno>
#include <cstdio>
#include <memory>

#include "platform/hex_number.h"
#include "platform/name_rules.h"
#include "platform/regfile.h"
#include "platform/utf.h"

namespace zp::regfile {
namespace {

constexpr std::string_view kHeader4 = "REGEDIT4";

struct FileCloser {
  void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool IsSpace(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsSpace(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsSpace(s.back())) s.remove_suffix(1);
  return s;
}

// A quoted text at the start of `s` with the \\ and \" escapes; `s` is left
// just after the closing quote.
std::optional<std::string> ParseQuoted(std::string_view& s) {
  if (s.empty() || s.front() != '"') return std::nullopt;
  std::string out;
  for (std::size_t i = 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') {
      s.remove_prefix(i + 1);
      return out;
    }
    if (c == '\\') {
      if (i + 1 >= s.size() || (s[i + 1] != '\\' && s[i + 1] != '"')) return std::nullopt;
      ++i;
    }
    out.push_back(s[i]);
  }
  return std::nullopt;
}

// "01,ff,2a": comma-separated bytes of one or two hex digits.
std::optional<std::vector<std::uint8_t>> ParseBytes(std::string_view s) {
  std::vector<std::uint8_t> out;
  s = Trim(s);
  if (s.empty()) return out;
  while (true) {
    const std::size_t comma = s.find(',');
    const std::string_view item = Trim(s.substr(0, comma));
    if (item.size() > 2) return std::nullopt;
    const auto v = ParseHex32(item);
    if (!v) return std::nullopt;
    out.push_back(static_cast<std::uint8_t>(*v));
    if (comma == std::string_view::npos) return out;
    s.remove_prefix(comma + 1);
  }
}

std::vector<std::uint8_t> StringBytes(const std::string& text, Strings strings) {
  std::vector<std::uint8_t> out;
  if (strings == Strings::Narrow) {
    out.assign(text.begin(), text.end());
    out.push_back(0);
  } else {
    for (char16_t u : utf::FromUtf8(text)) {
      out.push_back(static_cast<std::uint8_t>(u & 0xFF));
      out.push_back(static_cast<std::uint8_t>(u >> 8));
    }
    out.push_back(0);
    out.push_back(0);
  }
  return out;
}

// The data after "=": a string, dword:, hex: or hex(N):.
bool ParseData(std::string_view data, Strings strings, Value& value) {
  data = Trim(data);
  if (!data.empty() && data.front() == '"') {
    auto text = ParseQuoted(data);
    if (!text || !Trim(data).empty()) return false;
    value.type = 1;
    value.bytes = StringBytes(*text, strings);
    return true;
  }
  if (NarrowNames::StartsWith(data, "dword:")) {
    // Exactly eight hex digits, as regedit writes them: a shorter number is
    // a damaged line, never silently a smaller value.
    const std::string_view digits = data.substr(6);
    if (digits.size() != 8) return false;
    const auto v = ParseHex32(digits);
    if (!v) return false;
    value.type = 4;
    value.bytes = {static_cast<std::uint8_t>(*v), static_cast<std::uint8_t>(*v >> 8),
                   static_cast<std::uint8_t>(*v >> 16), static_cast<std::uint8_t>(*v >> 24)};
    return true;
  }
  if (NarrowNames::StartsWith(data, "hex:")) {
    value.type = 3;
    data.remove_prefix(4);
  } else if (NarrowNames::StartsWith(data, "hex(")) {
    const std::size_t close = data.find("):");
    if (close == std::string_view::npos) return false;
    const auto type = ParseHex32(data.substr(4, close - 4));
    if (!type) return false;
    value.type = *type;
    data.remove_prefix(close + 2);
  } else {
    return false;  // "-" (deletion) included: not supported
  }
  auto bytes = ParseBytes(data);
  if (!bytes) return false;
  value.bytes = std::move(*bytes);
  return true;
}

bool ParseValue(std::string_view line, Strings strings, Value& value) {
  std::string_view rest = line;
  if (rest.front() == '@') {
    rest.remove_prefix(1);
  } else {
    auto name = ParseQuoted(rest);
    if (!name) return false;
    value.name = std::move(*name);
  }
  rest = Trim(rest);
  if (rest.empty() || rest.front() != '=') return false;
  return ParseData(rest.substr(1), strings, value);
}

// A value line whose hex data goes on to the next line.
bool ContinuesHex(std::string_view line) {
  if (line.empty() || line.back() != '\\') return false;
  if (line.front() == '@') {
    line.remove_prefix(1);
  } else if (!ParseQuoted(line)) {
    return false;
  }
  line = Trim(line);
  return !line.empty() && line.front() == '=' &&
         NarrowNames::StartsWith(Trim(line.substr(1)), "hex");
}

struct Lines {
  std::vector<std::string_view> text;  // without line ends
};

Lines Split(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  Lines lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.text.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

}  // namespace

ParseResult Parse(std::string_view text, Strings strings) {
  ParseResult result;
  // What regedit exports on Windows: UTF-16LE with a byte-order mark.
  std::string converted;
  if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
      static_cast<unsigned char>(text[1]) == 0xFE) {
    std::u16string units;
    for (std::size_t i = 2; i + 1 < text.size(); i += 2) {
      units.push_back(static_cast<char16_t>(static_cast<unsigned char>(text[i]) |
                                            static_cast<unsigned char>(text[i + 1]) << 8));
    }
    converted = utf::ToUtf8(units);
    text = converted;
  }
  const Lines lines = Split(text);
  constexpr std::size_t kNoKey = static_cast<std::size_t>(-1);
  std::size_t current = kNoKey;  // index of the key being read
  bool header_allowed = true;
  for (std::size_t i = 0; i < lines.text.size(); ++i) {
    const int number = static_cast<int>(i + 1);
    const std::string_view raw = lines.text[i];
    std::string_view line = Trim(raw);
    if (line.empty() || line.front() == ';') continue;
    const auto problem = [&] { result.problems.push_back({number, std::string(raw)}); };
    if (header_allowed) {
      header_allowed = false;
      if (line == kHeader || line == kHeader4) continue;
    }
    if (line.front() == '[') {
      if (line.back() != ']' || line.size() < 3 || line[1] == '-') {
        problem();
        current = kNoKey;  // values under a skipped key are not given to another
        continue;
      }
      const std::string_view path = line.substr(1, line.size() - 2);
      FindOrAddKey(result.doc, path);
      current = static_cast<std::size_t>(FindKey(result.doc, path) - result.doc.keys.data());
      continue;
    }
    std::string joined;
    bool cut = false;  // the file ends in the middle of the value
    if (ContinuesHex(line)) {
      // Hex data goes on over the following lines while each ends with "\".
      joined = std::string(line);
      while (!cut && !joined.empty() && joined.back() == '\\') {
        joined.pop_back();
        cut = i + 1 >= lines.text.size();
        if (!cut) joined += Trim(lines.text[++i]);
      }
      line = joined;
    }
    Value value;
    if (cut || current == kNoKey || (line.front() != '"' && line.front() != '@') ||
        !ParseValue(line, strings, value)) {
      problem();
      continue;
    }
    SetValue(result.doc.keys[current], value.name, value.type, std::move(value.bytes));
  }
  return result;
}

std::optional<Document> Load(const std::string& file, Strings strings, bool* complete) {
  if (complete) *complete = false;
  const FilePtr f(std::fopen(file.c_str(), "rb"));
  if (!f) {
    if (errno != ENOENT) return std::nullopt;
    if (complete) *complete = true;
    return Document{};
  }
  std::string text;
  char buffer[8192];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, f.get())) > 0) text.append(buffer, got);
  if (std::ferror(f.get())) return std::nullopt;
  ParseResult parsed = Parse(text, strings);
  for (const Problem& p : parsed.problems) {
    std::fprintf(stderr, "%s:%d: cannot read: %s\n", file.c_str(), p.line, p.text.c_str());
  }
  if (complete) *complete = parsed.problems.empty();
  return std::move(parsed.doc);
}

}  // namespace zp::regfile
