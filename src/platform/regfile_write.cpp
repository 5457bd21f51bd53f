// The regedit text format written: a document as .reg text, and .reg files
// saved.
#include <cstdio>

#include "platform/platform.h"
#include "platform/regfile.h"
#include "platform/utf.h"

namespace zp::regfile {
namespace {

// regedit wraps hex data so that no line is longer than this.
constexpr std::size_t kLineWidth = 80;

std::string Escape(std::string_view text) {
  std::string out;
  for (char c : text) {
    if (c == '\\' || c == '"') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

bool HasLineBreak(std::string_view text) {
  return text.find_first_of("\r\n") != std::string_view::npos;
}

// The text of a REG_SZ when its bytes are exactly what "text" would give back.
std::optional<std::string> AsText(const Value& value, Strings strings) {
  const auto& b = value.bytes;
  if (value.type != 1) return std::nullopt;
  std::string text;
  if (strings == Strings::Narrow) {
    if (b.empty() || b.back() != 0) return std::nullopt;
    text.assign(b.begin(), b.end() - 1);
    if (text.find('\0') != std::string::npos || !utf::IsValidUtf8(text)) return std::nullopt;
  } else {
    if (b.size() < 2 || b.size() % 2 != 0 || b[b.size() - 1] != 0 || b[b.size() - 2] != 0) {
      return std::nullopt;
    }
    std::u16string units;
    for (std::size_t i = 0; i + 2 < b.size(); i += 2) {
      units.push_back(static_cast<char16_t>(b[i] | (b[i + 1] << 8)));
    }
    if (units.find(u'\0') != std::u16string::npos || !utf::IsValidUtf16(units)) {
      return std::nullopt;
    }
    text = utf::ToUtf8(units);
  }
  if (HasLineBreak(text)) return std::nullopt;
  return text;
}

void WriteHex(std::string& out, std::string line, const std::vector<std::uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  bool first_on_line = true;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    std::string piece{kDigits[bytes[i] >> 4], kDigits[bytes[i] & 0xF]};
    if (i + 1 < bytes.size()) piece.push_back(',');
    // Leave room for the continuation backslash.
    if (!first_on_line && line.size() + piece.size() + 1 > kLineWidth) {
      out += line + "\\\n";
      line = "  ";
    }
    line += piece;
    first_on_line = false;
  }
  out += line + "\n";
}

void WriteValue(std::string& out, const Value& value, Strings strings) {
  std::string line = value.name.empty() ? "@=" : "\"" + Escape(value.name) + "\"=";
  if (auto text = AsText(value, strings)) {
    out += line + "\"" + Escape(*text) + "\"\n";
    return;
  }
  char buffer[32];
  if (value.type == 4 && value.bytes.size() == 4) {
    const auto& b = value.bytes;
    const std::uint32_t v = b[0] | (b[1] << 8) | (b[2] << 16) | (std::uint32_t{b[3]} << 24);
    std::snprintf(buffer, sizeof buffer, "dword:%08x\n", v);
    out += line + buffer;
    return;
  }
  if (value.type == 3) {
    line += "hex:";
  } else {
    std::snprintf(buffer, sizeof buffer, "hex(%x):", value.type);
    line += buffer;
  }
  WriteHex(out, std::move(line), value.bytes);
}

}  // namespace

bool IsWritableName(std::string_view text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) return false;
  }
  return true;
}

bool IsWritable(const Document& doc) {
  for (const Key& key : doc.keys) {
    if (!IsWritableName(key.path)) return false;
    for (const Value& value : key.values) {
      if (!IsWritableName(value.name)) return false;
    }
  }
  return true;
}

std::string Write(const Document& doc, Strings strings) {
  std::string out(kHeader);
  out += "\n\n";
  for (const Key& key : doc.keys) {
    out += "[" + key.path + "]\n";
    for (const Value& value : key.values) WriteValue(out, value, strings);
    out += "\n";
  }
  return out;
}

bool Save(const std::string& file, const Document& doc, Strings strings) {
  if (!IsWritable(doc)) {
    SetLastErrorCode(kErrorInvalidName);
    return false;
  }
  // A power cut leaves the old text or the new, never an empty registry.
  return ReplaceFileDurably(file, Write(doc, strings));
}

}  // namespace zp::regfile
