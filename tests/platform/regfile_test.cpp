#include "platform/regfile.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace zp::regfile {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes B(std::string_view s) {
  return Bytes(s.begin(), s.end());
}

const Value& Get(const ParseResult& r, std::string_view key, std::string_view name) {
  const Key* k = FindKey(r.doc, key);
  EXPECT_NE(k, nullptr) << key;
  static const Value missing;
  if (!k) return missing;
  const Value* v = FindValue(*k, name);
  EXPECT_NE(v, nullptr) << name;
  return v ? *v : missing;
}

TEST(RegfileParse, ReadsEveryValueForm) {
  const auto r = Parse(
      "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Brenok\\ZAMO]\r\n"
      "\"PathSync\"=\"c:\\\\ZAMO\\\\Dev\\\\\"\r\n"
      "\"Quote\"=\"say \\\"hi\\\"\"\r\n"
      "@=\"default\"\r\n"
      "\"DBState\"=dword:0000000a\r\n"
      "\"Blob\"=hex:01,ff,\\\r\n"
      "  2A\r\n"
      "\"Expand\"=hex(2):25,00,00,00\r\n"
      "\"Big\"=hex(b):01,02,03,04,05,06,07,08\r\n"
      "\"Empty\"=hex(0):\r\n",
      Strings::Narrow);
  EXPECT_TRUE(r.problems.empty());
  const char* key = "hkey_local_machine\\software\\brenok\\zamo";
  EXPECT_EQ(Get(r, key, "pathsync").bytes, B(std::string_view("c:\\ZAMO\\Dev\\\0", 13)));
  EXPECT_EQ(Get(r, key, "Quote").bytes, B(std::string_view("say \"hi\"\0", 9)));
  EXPECT_EQ(Get(r, key, "").bytes, B(std::string_view("default\0", 8)));
  EXPECT_EQ(Get(r, key, "DBState").type, 4u);
  EXPECT_EQ(Get(r, key, "DBState").bytes, (Bytes{10, 0, 0, 0}));
  EXPECT_EQ(Get(r, key, "Blob").type, 3u);
  EXPECT_EQ(Get(r, key, "Blob").bytes, (Bytes{1, 0xff, 0x2a}));
  EXPECT_EQ(Get(r, key, "Expand").type, 2u);
  EXPECT_EQ(Get(r, key, "Big").type, 11u);
  EXPECT_EQ(Get(r, key, "Empty").type, 0u);
  EXPECT_TRUE(Get(r, key, "Empty").bytes.empty());
}

TEST(RegfileParse, WideStringsAreUtf16WithTerminator) {
  const auto r = Parse("REGEDIT4\n[K]\n\"a\"=\"\xC3\xA9x\"\n", Strings::Wide);
  EXPECT_TRUE(r.problems.empty());
  EXPECT_EQ(Get(r, "K", "a").bytes, (Bytes{0xE9, 0, 'x', 0, 0, 0}));
}

TEST(RegfileParse, ReportsAndSkipsBadLines) {
  const auto r = Parse(
      "\"orphan\"=\"before any key\"\n"  // 1
      "[K]\n"                            // 2
      "\"ok\"=\"1\"\n"                   // 3
      "\"bad escape\"=\"c:\\ZAMO\"\n"    // 4
      "\"gone\"=-\n"                     // 5
      "[-K\\Sub]\n"                      // 6
      "\"under deleted\"=dword:1\n"      // 7
      "[K]\n"                            // 8
      "\"d\"=dword:123456789\n"          // 9: nine digits
      "\"h\"=hex:1,,2\n"                 // 10
      "junk\n"                           // 11
      "\"t\"=\"x\" trailing\n"           // 12
      "\"cut\"=hex:01,\\\n",             // 13: the file ends inside the value
      Strings::Narrow);
  std::vector<int> lines;
  for (const auto& p : r.problems) lines.push_back(p.line);
  EXPECT_EQ(lines, (std::vector<int>{1, 4, 5, 6, 7, 9, 10, 11, 12, 13}));
  EXPECT_EQ(r.problems[1].text, "\"bad escape\"=\"c:\\ZAMO\"");
  ASSERT_EQ(r.doc.keys.size(), 1u);
  ASSERT_EQ(r.doc.keys[0].values.size(), 1u);
  EXPECT_EQ(r.doc.keys[0].values[0].name, "ok");
}

TEST(RegfileParse, ADwordOfFewerThanEightDigitsIsABadLine) {
  const auto r = Parse("[K]\n\"short\"=dword:3\n\"ok\"=dword:00000003\n", Strings::Narrow);
  ASSERT_EQ(r.problems.size(), 1u);
  EXPECT_EQ(r.problems[0].line, 2);
  ASSERT_EQ(r.doc.keys.at(0).values.size(), 1u);
  EXPECT_EQ(r.doc.keys[0].values[0].name, "ok");
}

// regedit on Windows exports UTF-16LE with a byte-order mark.
TEST(RegfileParse, ReadsWhatRegeditWritesOnWindows) {
  const std::u16string text =
      u"Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Z]\r\n"
      u"\"Name\"=\"Z\u00fcrich\"\r\n\"D\"=dword:0000002a\r\n";
  std::string bytes = "\xff\xfe";
  for (char16_t c : text) {
    bytes += static_cast<char>(c & 0xFF);
    bytes += static_cast<char>(c >> 8);
  }
  const auto r = Parse(bytes, Strings::Narrow);
  EXPECT_TRUE(r.problems.empty());
  ASSERT_EQ(r.doc.keys.size(), 1u);
  EXPECT_EQ(r.doc.keys[0].path, "HKEY_CURRENT_USER\\Software\\Z");
  ASSERT_EQ(r.doc.keys[0].values.size(), 2u);
  EXPECT_EQ(r.doc.keys[0].values[0].bytes,
            (std::vector<std::uint8_t>{'Z', 0xC3, 0xBC, 'r', 'i', 'c', 'h', 0}));
  EXPECT_EQ(r.doc.keys[0].values[1].bytes, (std::vector<std::uint8_t>{0x2a, 0, 0, 0}));
}

TEST(RegfileWrite, RoundTripKeepsEveryByte) {
  Document doc;
  Key& k = FindOrAddKey(doc, "HKEY_CURRENT_USER\\Software\\X");
  SetValue(k, "", 1, B(std::string_view("def\0", 4)));
  SetValue(k, "na\"me\\", 1, B(std::string_view("a\\b\"c\0", 6)));
  SetValue(k, "no terminator", 1, B("abc"));
  SetValue(k, "embedded nul", 1, B(std::string_view("a\0b\0", 4)));
  SetValue(k, "two nuls", 1, B(std::string_view("ab\0\0", 4)));
  SetValue(k, "line break", 1, B(std::string_view("a\nb\0", 4)));
  SetValue(k, "bad utf8", 1, B(std::string_view("\xff\0", 2)));
  SetValue(k, "empty", 1, {});
  SetValue(k, "dword", 4, {1, 2, 3, 4});
  SetValue(k, "short dword", 4, {1, 2});
  SetValue(k, "binary", 3, Bytes(100, 0xAB));
  SetValue(k, "multi", 7, {'a', 0, 0});
  SetValue(k, "none", 0, {});
  FindOrAddKey(doc, "HKEY_CURRENT_USER\\Empty");

  for (Strings strings : {Strings::Narrow, Strings::Wide}) {
    const std::string text = Write(doc, strings);
    for (std::size_t at = 0, end; at < text.size(); at = end + 1) {
      end = text.find('\n', at);
      EXPECT_LE(end - at, 80u) << text.substr(at, end - at);
    }
    const auto back = Parse(text, strings);
    EXPECT_TRUE(back.problems.empty()) << text;
    ASSERT_EQ(back.doc.keys.size(), doc.keys.size());
    for (std::size_t i = 0; i < doc.keys.size(); ++i) {
      EXPECT_EQ(back.doc.keys[i].path, doc.keys[i].path);
      ASSERT_EQ(back.doc.keys[i].values.size(), doc.keys[i].values.size());
      for (std::size_t j = 0; j < doc.keys[i].values.size(); ++j) {
        const Value& a = doc.keys[i].values[j];
        const Value& b = back.doc.keys[i].values[j];
        EXPECT_EQ(b.name, a.name);
        EXPECT_EQ(b.type, a.type) << a.name;
        EXPECT_EQ(b.bytes, a.bytes) << a.name;
      }
    }
    EXPECT_EQ(Write(back.doc, strings), text);
  }
}

TEST(RegfileWrite, UsesTheReadableFormsWhenExact) {
  Document doc;
  Key& k = FindOrAddKey(doc, "K");
  SetValue(k, "s", 1, B(std::string_view("c:\\x\0", 5)));
  SetValue(k, "", 1, B(std::string_view("\0", 1)));
  SetValue(k, "d", 4, {0x0a, 0x11, 0, 0});
  SetValue(k, "raw", 1, B("abc"));
  SetValue(k, "s", 1, B(std::string_view("c:\\y\0", 5)));  // replaces, keeps the place
  EXPECT_EQ(Write(doc, Strings::Narrow),
            "Windows Registry Editor Version 5.00\n\n"
            "[K]\n"
            "\"s\"=\"c:\\\\y\"\n"
            "@=\"\"\n"
            "\"d\"=dword:0000110a\n"
            "\"raw\"=hex(1):61,62,63\n\n");
  // The same narrow bytes are not a wide string.
  EXPECT_NE(Write(doc, Strings::Wide).find("\"s\"=hex(1):"), std::string::npos);
}

TEST(RegfileKeys, LookupsFoldCaseAndSubkeysAreSortedUnique) {
  const auto r =
      Parse("[A\\b]\n[a\\C\\deep]\n[A\\B\\x]\n[A\\_u]\n[A]\n[AB\\z]\n[A\\a]\n\"v\"=\"1\"\n",
            Strings::Narrow);
  EXPECT_TRUE(r.problems.empty());
  // Upper-case folding puts "_" after the letters, as the registry does.
  EXPECT_EQ(SubkeyNames(r.doc, "a"), (std::vector<std::string>{"a", "b", "C", "_u"}));
  EXPECT_EQ(SubkeyNames(r.doc, "A\\B"), (std::vector<std::string>{"x"}));
  EXPECT_TRUE(SubkeyNames(r.doc, "A\\a").empty());
  EXPECT_EQ(SubkeyNames(r.doc, ""), (std::vector<std::string>{"A", "AB"}));
  EXPECT_NE(FindKey(r.doc, "a\\A"), nullptr);
  EXPECT_EQ(FindKey(r.doc, "A\\"), nullptr);
}

TEST(RegfileKeys, AKeyExistsWithItsSectionOrASectionBelowIt) {
  const auto r = Parse("[A\\B\\C]\n[D]\n[E\\]\n", Strings::Narrow);
  EXPECT_TRUE(KeyExists(r.doc, "a\\b\\c"));
  EXPECT_TRUE(KeyExists(r.doc, "A\\b"));  // a parent regedit made
  EXPECT_TRUE(KeyExists(r.doc, "A"));
  EXPECT_TRUE(KeyExists(r.doc, "d"));
  EXPECT_FALSE(KeyExists(r.doc, "A\\B\\C\\D"));
  EXPECT_FALSE(KeyExists(r.doc, "A\\Bx"));
  EXPECT_FALSE(KeyExists(r.doc, "A\\"));
  EXPECT_FALSE(KeyExists(r.doc, "E"));  // "E\" names no key below E
}

TEST(RegfileFiles, LoadReportsProblemsAndSaveReplacesTheFile) {
  test::TempDir dir;
  const std::string file = (dir.path() / "r.reg").string();
  bool complete = false;
  ASSERT_TRUE(Load(file, Strings::Narrow, &complete));
  EXPECT_TRUE(complete);  // a missing file is an empty registry

  dir.Write("r.reg", "[K]\nbroken\n\"v\"=dword:00000001\n");
  testing::internal::CaptureStderr();
  auto doc = Load(file, Strings::Narrow, &complete);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), file + ":2: cannot read: broken\n");
  ASSERT_TRUE(doc);
  EXPECT_FALSE(complete);
  EXPECT_EQ(doc->keys.size(), 1u);

  ASSERT_TRUE(Save(file, *doc, Strings::Narrow));
  EXPECT_EQ(dir.Read("r.reg"), Write(*doc, Strings::Narrow));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);

  EXPECT_FALSE(Load(dir.path().string(), Strings::Narrow));  // a folder
  EXPECT_FALSE(Save((dir.path() / "no" / "r.reg").string(), *doc, Strings::Narrow));
}

}  // namespace
}  // namespace zp::regfile
