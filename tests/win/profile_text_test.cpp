// The reader of description files (config/profile_text, used by "cvpublish check") held
// against the profile functions: each file is written to a temporary file and read both
// ways, every key asked for, present or not, and every section's text.
#include "config/profile_text.h"

#include <gtest/gtest.h>
#include <stdio.h>

#include <string>
#include <vector>

#include "common/win32.h"

namespace {

struct Ask {
    const char* section;
    const char* key;  // nullptr: the section's text
};

struct ReaderCase {
    const char* name;
    std::string text;
    std::vector<Ask> asks;
};

const char kAbsent[] = "(absent)";

std::string ByReader(const ProfileText& profile, const Ask& ask) {
    const ProfileSection* section = profile.FindSection(ask.section);
    if (ask.key == nullptr) return ProfileText::SectionText(section);
    const ProfileLine* line = ProfileText::FindValue(section, ask.key);
    return line != nullptr ? line->KeyValue() : kAbsent;
}

std::string ByProfileFunctions(const char* path, const Ask& ask) {
    std::vector<char> buffer(1 << 16);
    DWORD size = static_cast<DWORD>(buffer.size());
    if (ask.key == nullptr) {
        // The count takes every entry's NUL but not the closing one.
        DWORD count = GetPrivateProfileSectionA(ask.section, buffer.data(), size, path);
        return std::string(buffer.data(), count) + '\0';
    }
    DWORD count =
        GetPrivateProfileStringA(ask.section, ask.key, kAbsent, buffer.data(), size, path);
    return std::string(buffer.data(), count);
}

std::string Printable(const std::string& text) {
    std::string shown;
    for (char c : text) {
        if (c == '\0')
            shown += "\\0";
        else if (c == '\r')
            shown += "\\r";
        else if (c == '\n')
            shown += "\\n";
        else
            shown += c;
    }
    return shown.size() > 80 ? shown.substr(0, 80) + "..." : shown;
}

const ReaderCase kCases[] = {
    {"blanks and tabs",
     "  [defs] \t\r\n \t name \t = \t one  two \t \r\n\tTab\t=\tx\t\r\n",
     {{"defs", "name"}, {"defs", "tab"}, {" defs ", " name "}, {"defs", "one"}, {"defs", nullptr}}},
    {"blanks inside the brackets", "[ defs\t]\r\nk=v\r\n", {{"defs", "k"}, {"defs", nullptr}}},
    {"case of names",
     "[Defs]\r\nKey=Value\r\n",
     {{"dEFS", "kEY"}, {"DEFS", nullptr}, {"defs", "value"}}},
    {"duplicate key", "[s]\r\nk=first\r\nK=second\r\n", {{"s", "k"}, {"s", nullptr}}},
    {"duplicate section",
     "[s]\r\na=1\r\n[t]\r\nx=1\r\n[S]\r\na=2\r\nb=2\r\n",
     {{"s", "a"}, {"s", "b"}, {"s", nullptr}, {"t", "x"}}},
    {"lines before the first section",
     "k=before\r\nflag\r\n[s]\r\nk=after\r\n",
     {{"s", "k"}, {"s", "flag"}, {"s", nullptr}}},
    {"comments",
     "[s]\r\n;k=commented\r\n  ; spaced=too\r\nk;x=1\r\nv=a ; not a comment\r\n",
     {{"s", "k"}, {"s", "spaced"}, {"s", "k;x"}, {"s", "v"}, {"s", nullptr}}},
    {"line without =",
     "[s]\r\nflag\r\nflag=later\r\nother=1\r\n",
     {{"s", "flag"}, {"s", "other"}, {"s", nullptr}}},
    {"= in values, empty values",
     "[s]\r\nurl=a=b==c\r\nempty=\r\n = nameless\r\nspaces=   \r\n",
     {{"s", "url"}, {"s", "empty"}, {"s", "spaces"}, {"s", nullptr}}},
    {"quotes",
     "[s]\r\nd=\"double\"\r\nq='single'\r\nm=\"mixed'\r\none=\"\r\n"
     "inner=a\"b\"c\r\nouter=\"a\"b\"\r\nspaced= \" x \" \r\nempty=\"\"\r\n",
     {{"s", "d"},
      {"s", "q"},
      {"s", "m"},
      {"s", "one"},
      {"s", "inner"},
      {"s", "outer"},
      {"s", "spaced"},
      {"s", "empty"},
      {"s", nullptr}}},
    {"header without ]",
     "[s]\r\na=1\r\n[t\r\nb=2\r\n",
     {{"s", "a"}, {"s", "b"}, {"t", "b"}, {"s", nullptr}, {"t", nullptr}}},
    {"text after the header",
     "[s] trailing\r\na=1\r\n[u]x] more\r\nb=2\r\n",
     {{"s", "a"}, {"u]x", "b"}, {"u", "b"}, {"s", nullptr}}},
    {"bare LF, no last line end", "[s]\na=1\nb=2", {{"s", "a"}, {"s", "b"}, {"s", nullptr}}},
    {"CR only", "[s]\ra=1\rb=2\r", {{"s", "a"}, {"s", "b"}, {"s", nullptr}}},
    {"a lone CR before an LF",
     "[s]\r\na=1\rb=2\r\nc=3\r\n",
     {{"s", "a"}, {"s", "b"}, {"s", "c"}, {"s", nullptr}}},
    {"control blanks",
     "[s]\r\n\va=1\f\r\nb=2\x1a\r\n\x1a",
     {{"s", "a"}, {"s", "b"}, {"s", nullptr}}},
    {"empty file", "", {{"s", "a"}, {"s", nullptr}}},
    {"very long line",
     "[s]\r\nlong=" + std::string(40000, 'x') + "\r\nafter=1\r\n",
     {{"s", "long"}, {"s", "after"}}},
};

TEST(DescriptionReader, ReadsAsTheProfileFunctions) {
    char directory[MAX_PATH];
    ASSERT_GT(GetTempPathA(sizeof directory, directory), 0u);
    for (const ReaderCase& c : kCases) {
        SCOPED_TRACE(c.name);
        char path[MAX_PATH];
        ASSERT_NE(0u, GetTempFileNameA(directory, "cvr", 0, path));
        FILE* file = fopen(path, "wb");
        ASSERT_NE(nullptr, file);
        ASSERT_EQ(c.text.size(), fwrite(c.text.data(), 1, c.text.size(), file));
        fclose(file);
        ProfileText profile;
        profile.Parse(c.text.data(), c.text.size());
        for (const Ask& ask : c.asks) {
            SCOPED_TRACE(std::string("[") + ask.section + "] " +
                         (ask.key != nullptr ? ask.key : "(section)"));
            std::string platform = ByProfileFunctions(path, ask);
            std::string reader = ByReader(profile, ask);
            EXPECT_EQ(Printable(platform), Printable(reader));
        }
        DeleteFileA(path);
    }
}

}  // namespace
