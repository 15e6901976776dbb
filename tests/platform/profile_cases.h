#pragma once
// Cases of the Windows private-profile (INI) rules, shared by the tests of
// every implementation: the real kernel32 functions (run under Wine when
// cross-built) and the project's own engine for offline installations.
//
// Each case states what Windows does. Where Wine is known to do otherwise, the
// case also states Wine's result and names the deviation; the runner expects
// that result only when told it runs under Wine, and says so in the output.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "platform/types.h"

namespace hv::test::profile_cases {

// GetPrivateProfileStringA / WritePrivateProfileStringA of one implementation,
// on a file given by its path.
struct ProfileApi {
  std::function<DWORD(const char* app, const char* key, const char* def, char* returned, DWORD size,
                      const std::string& file)>
      read;
  std::function<bool(const char* app, const char* key, const char* value, const std::string& file)>
      write;
};

struct WineResult {
  std::string result;
  std::string note;  // what Wine does differently
};

struct ReadCase {
  std::string name;
  std::optional<std::string> file;  // contents; none: the file does not exist
  const char* section;
  const char* key;  // null: list the section's keys
  const char* defaultValue;
  DWORD size;
  std::string expected;  // the bytes before the count, NULs of a list included
  std::optional<WineResult> wine = std::nullopt;
};

struct WriteStep {
  const char* section;
  const char* key;    // null: erase the section
  const char* value;  // null: delete the key
};

struct WriteCase {
  std::string name;
  std::optional<std::string> file;
  std::vector<WriteStep> steps;
  // The file afterwards, compared line by line without blank lines and
  // without regard to the line ending (CRLF or LF).
  std::string expected;
  std::optional<WineResult> wine = std::nullopt;
};

inline const std::string& LongValue() {
  static const std::string value = [] {
    std::string v;
    for (int i = 0; v.size() < 3000; ++i) v += char('a' + i % 26);
    return v;
  }();
  return value;
}

inline std::vector<ReadCase> ReadCases() {
  const std::string options = "[Options]\r\nRestorePoint=1\r\nLan=German\r\n";
  return {
      {"missing file gives the default", std::nullopt, "Options", "Lan", "English", 2048, "English"},
      {"missing key gives the default without trailing blanks", options, "Options", "Absent",
       "English  ", 2048, "English"},
      {"missing section gives the default", options, "Other", "Lan", "x", 2048, "x"},
      {"null default gives an empty string", options, "Options", "Absent", nullptr, 2048, ""},
      {"sections and keys match in any case", options, "oPTIONS", "lan", "English", 2048, "German"},
      {"an empty value is empty, not the default", "[Options]\r\nLan=\r\n", "Options", "Lan",
       "English", 2048, ""},
      {"blanks around names and values are dropped",
       "[Options]\r\n  Lan  =  \t Deutsch Sprache \t \r\n", "Options", "Lan", "", 2048,
       "Deutsch Sprache"},
      {"one pair of enclosing double quotes is removed", "[Options]\r\nLan=\" two  blanks \"\r\n",
       "Options", "Lan", "", 2048, " two  blanks "},
      {"one pair of enclosing single quotes is removed", "[Options]\r\nLan='x y'\r\n", "Options",
       "Lan", "", 2048, "x y"},
      {"quotes are removed once only", "[Options]\r\nLan=\"\"x\"\"\r\n", "Options", "Lan", "", 2048,
       "\"x\""},
      {"mismatched quotes stay", "[Options]\r\nLan=\"abc'\r\n", "Options", "Lan", "", 2048,
       "\"abc'"},
      {"an unclosed quote stays", "[Options]\r\nLan=\"abc\r\n", "Options", "Lan", "", 2048, "\"abc"},
      {"an inner quote stays", "[Options]\r\nLan=a\"b\"\r\n", "Options", "Lan", "", 2048, "a\"b\""},
      {"the value runs to the end of the line, '=' included", "[R]\r\nurl=http://x/?a=b\r\n", "R",
       "url", "", 2048, "http://x/?a=b"},
      {"the first key of a name counts", "[Options]\r\nLan=one\r\nLan=two\r\n", "Options", "Lan",
       "", 2048, "one"},
      {"a comment line is no key", "[Options]\r\n;Lan=commented\r\nLan=real\r\n", "Options", "Lan",
       "", 2048, "real"},
      {"lines ended by LF alone read the same", "[Options]\nLan=unix\n", "Options", "Lan", "", 2048,
       "unix"},
      {"a long value is cut to the buffer: 2047 characters of 2048",
       "[Options]\r\nLan=" + LongValue() + "\r\n", "Options", "Lan", "", 2048,
       LongValue().substr(0, 2047)},
      {"a value that just fills the buffer loses its last character", "[Options]\r\nLan=abcd\r\n",
       "Options", "Lan", "", 4, "abc"},
      {"a default is cut like a value", options, "Options", "Absent", "English", 4, "Eng"},
      {"a key list ends each name and the list with a NUL", "[S]\r\na=1\r\nbb=2\r\n", "S", nullptr,
       "", 64, std::string("a\0bb\0", 5)},
  };
}

inline std::vector<WriteCase> WriteCases() {
  const std::string sample =
      "[Options]\r\nA=1\r\nB=2\r\nC=3\r\n\r\n[Other]\r\nB=keep\r\n";
  return {
      {"a new file gets the section and the keys in the order written",
       std::nullopt,
       {{"Options", "RestorePoint", "0"},
        {"Options", "IsAskBeforeDefrag", "1"},
        {"Options", "IsShowLine", "1"},
        {"Options", "Lan", "English"}},
       "[Options]\nRestorePoint=0\nIsAskBeforeDefrag=1\nIsShowLine=1\nLan=English\n"},
      {"a key is replaced where it stands",
       sample,
       {{"Options", "B", "9"}},
       "[Options]\nA=1\nB=9\nC=3\n[Other]\nB=keep\n"},
      {"a key is found in any case and keeps its spelling",
       sample,
       {{"OPTIONS", "b", "9"}},
       "[Options]\nA=1\nB=9\nC=3\n[Other]\nB=keep\n"},
      {"a new key goes after the last key of its section",
       sample,
       {{"Options", "D", "4"}},
       "[Options]\nA=1\nB=2\nC=3\nD=4\n[Other]\nB=keep\n"},
      {"a new key goes after the section's last line that is not blank, a comment included",
       "[Options]\r\nA=1\r\n; note\r\n\r\n[Other]\r\nB=keep\r\n",
       {{"Options", "D", "4"}},
       "[Options]\nA=1\n; note\nD=4\n[Other]\nB=keep\n"},
      {"a new section goes at the end of the file",
       sample,
       {{"New", "X", "1"}},
       "[Options]\nA=1\nB=2\nC=3\n[Other]\nB=keep\n[New]\nX=1\n"},
      {"a value is written as given, quotes and blanks included",
       sample,
       {{"Other", "Q", "\"quoted\""}},
       "[Options]\nA=1\nB=2\nC=3\n[Other]\nB=keep\nQ=\"quoted\"\n"},
      {"erasing a section removes it with all its keys and nothing else",
       "[Before]\r\nk=v\r\n[Scan Result]\r\nCurrent Size=1 KB\r\nTime=x\r\n[After]\r\nk=v\r\n",
       {{"scan result", nullptr, nullptr}},
       "[Before]\nk=v\n[After]\nk=v\n"},
      {"erasing a section that appears twice erases the first only",
       "[Twice]\r\na=1\r\n[Keep]\r\nk=v\r\n[twice]\r\nb=2\r\n",
       {{"TWICE", nullptr, nullptr}},
       "[Keep]\nk=v\n[twice]\nb=2\n"},
      {"erasing a missing section changes nothing",
       sample,
       {{"Missing", nullptr, nullptr}},
       "[Options]\nA=1\nB=2\nC=3\n[Other]\nB=keep\n"},
      {"erasing then writing a section puts it at the end",
       "[Scan Result]\r\nTime=old\r\n[Keep]\r\nk=v\r\n",
       {{"Scan Result", nullptr, nullptr}, {"Scan Result", "Time", "new"}},
       "[Keep]\nk=v\n[Scan Result]\nTime=new\n"},
      {"a deleted key leaves its neighbours",
       sample,
       {{"Options", "B", nullptr}},
       "[Options]\nA=1\nC=3\n[Other]\nB=keep\n"},
      {"lines of other sections keep their spelling",
       "[Other]\r\n  Spaced Key =  v  \r\n; a comment\r\n[Options]\r\nA=1\r\n",
       {{"Options", "A", "2"}},
       "[Other]\n  Spaced Key =  v  \n; a comment\n[Options]\nA=2\n",
       WineResult{"[Other]\nSpaced Key=v\n; a comment\n[Options]\nA=2\n",
                  "Wine rewrites the whole file from its parsed form: blanks around the names "
                  "and values of untouched keys are dropped"}},
  };
}

// The lines of a file's text without blank lines and line endings.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") != std::string::npos) lines.push_back(line);
  }
  return lines;
}

inline void WriteWholeFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline const std::string& Expected(const std::string& windows, const std::optional<WineResult>& wine,
                                   bool underWine, const std::string& caseName) {
  if (underWine && wine) {
    std::cout << "[ WINE     ] deviation in \"" << caseName << "\": " << wine->note << "\n";
    return wine->result;
  }
  return windows;
}

// A file of its own for each case: an implementation that caches files by
// name and time stamp must not see an earlier case's file.
inline std::string CaseFile(const std::string& base, int index) {
  return base + "-" + std::to_string(index) + ".ini";
}

// Runs every read case against `api`, on files named after `base`.
inline void RunReadCases(const ProfileApi& api, const std::string& base, bool underWine) {
  int index = 0;
  for (const ReadCase& c : ReadCases()) {
    SCOPED_TRACE(c.name);
    const std::string scratch = CaseFile(base, index++);
    std::remove(scratch.c_str());
    if (c.file) WriteWholeFile(scratch, *c.file);
    const std::string& expected = Expected(c.expected, c.wine, underWine, c.name);
    constexpr char kUntouched = '\x7f';
    std::vector<char> buffer(c.size + 16, kUntouched);
    const DWORD length = api.read(c.section, c.key, c.defaultValue, buffer.data(), c.size, scratch);
    EXPECT_EQ(length, expected.size());
    if (length < c.size) {
      EXPECT_EQ(std::string(buffer.data(), length), expected);
      EXPECT_EQ(buffer[length], '\0') << "the result is NUL-terminated";
    }
    for (std::size_t i = c.size; i < buffer.size(); ++i) {
      ASSERT_EQ(buffer[i], kUntouched) << "written past the buffer at " << i;
    }
    std::remove(scratch.c_str());
  }
}

// Runs every write case against `api`, on files named after `base`.
inline void RunWriteCases(const ProfileApi& api, const std::string& base, bool underWine) {
  int index = 100;
  for (const WriteCase& c : WriteCases()) {
    SCOPED_TRACE(c.name);
    const std::string scratch = CaseFile(base, index++);
    std::remove(scratch.c_str());
    if (c.file) WriteWholeFile(scratch, *c.file);
    for (const WriteStep& step : c.steps) {
      EXPECT_TRUE(api.write(step.section, step.key, step.value, scratch));
    }
    EXPECT_EQ(Lines(ReadWholeFile(scratch)), Lines(Expected(c.expected, c.wine, underWine, c.name)));
    std::remove(scratch.c_str());
  }
}

}  // namespace hv::test::profile_cases
