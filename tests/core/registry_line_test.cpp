// Registry entries as text: the fields of a section line, the decimal numbers of
// REG_DWORD data and the split of a "section@file" reference.
#include "install/registry_line.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

namespace {

const char none[] = "<none>";

struct Parsed {
    RegistryLineKind kind;
    RegistryRoot root;
    std::string subkey, valueName, data;
    bool isNumber;
    uint32_t number;
};

// Parses a copy of line in a heap block of exactly its size, so that reading past its
// end shows under AddressSanitizer. Absent texts read as "<none>".
Parsed Parse(const std::string& line) {
    std::vector<char> text(line.begin(), line.end());
    text.push_back('\0');
    RegistryLine parsed = ParseRegistryLine(text.data());
    auto take = [](const char* p) { return std::string(p != nullptr ? p : none); };
    return {parsed.kind,       parsed.root,     take(parsed.subkey), take(parsed.valueName),
            take(parsed.data), parsed.isNumber, parsed.number};
}

}  // namespace

TEST(RegistryLine, WritesTheValueTheLineNames) {
    using R = RegistryRoot;
    struct Case {
        const char* line;
        R root;
        const char *subkey, *valueName;
        bool isNumber;
        const char* data;
        uint32_t number;
    } cases[] = {
        {"HKCU,Software\\Corvane\\Corvane\\Settings,Interval=n,30", R::CurrentUser,
         "Software\\Corvane\\Corvane\\Settings", "Interval", true, "30", 30},
        {"HKLM,Software\\Corvane\\Corvane,Data Path=string,C:\\Corvane\\data", R::LocalMachine,
         "Software\\Corvane\\Corvane", "Data Path", false, "C:\\Corvane\\data", 0},
        // No value name: the key's default value.
        {"HKCR,CvDoc.File=s,Corvane Document", R::ClassesRoot, "CvDoc.File", none, false,
         "Corvane Document", 0},
        {"HKCU,Key,=s,x", R::CurrentUser, "Key", none, false, "x", 0},
        // The value name and the data are taken whole, commas included.
        {"HKLM,Software\\Corvane\\Corvane,a,b=s,x", R::LocalMachine, "Software\\Corvane\\Corvane",
         "a,b", false, "x", 0},
        {"HKCU,Key,V=s,one,two", R::CurrentUser, "Key", "V", false, "one,two", 0},
        {"HKCU,Key,,a=s,x", R::CurrentUser, "Key", ",a", false, "x", 0},
        // The line is split at its first "=": later ones belong to the data.
        {"HKCU,Key,V=s,a=b", R::CurrentUser, "Key", "V", false, "a=b", 0},
        {"HKCU,Key,a=b=s,x", R::CurrentUser, "Key", "a", false, "x", 0},
        // Roots in any case; only the type's first letter counts.
        {"hklm,Key,V=N,7", R::LocalMachine, "Key", "V", true, "7", 7},
        {"Hku,.DEFAULT\\Key,V=number,8", R::Users, ".DEFAULT\\Key", "V", true, "8", 8},
        {"hkcr,Key,V=dword,9", R::ClassesRoot, "Key", "V", false, "9", 0},
        // Leading commas before the subkey and the type are skipped.
        {"HKCU,,Key,V=,,s,x", R::CurrentUser, "Key", "V", false, "x", 0},
        // String data is stored as written, blanks included; numbers are read like atoi.
        {"HKCU,Key,V=s, x ", R::CurrentUser, "Key", "V", false, " x ", 0},
        {"HKCU,Key,V=n,  -5", R::CurrentUser, "Key", "V", true, "  -5", 0xFFFFFFFBu},
        {"HKCU,Key,V=n,12 apples", R::CurrentUser, "Key", "V", true, "12 apples", 12},
        {"HKCU,Key,V=n,none", R::CurrentUser, "Key", "V", true, "none", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        Parsed p = Parse(c.line);
        EXPECT_EQ(RegistryLineKind::Write, p.kind);
        EXPECT_EQ(c.root, p.root);
        EXPECT_EQ(c.subkey, p.subkey);
        EXPECT_EQ(c.valueName, p.valueName);
        EXPECT_EQ(c.isNumber, p.isNumber);
        EXPECT_EQ(c.data, p.data);
        EXPECT_EQ(c.number, p.number);
    }
}

TEST(RegistryLine, SkipsOrStops) {
    using K = RegistryLineKind;
    struct Case {
        const char* line;
        K kind;
    } cases[] = {
        {";HKCU,Key,V=s,x", K::Skip},
        {"", K::Skip},
        // Without "=" a line is skipped before its root is looked at.
        {"HKCU,Key,V", K::Skip},
        {"HKEY_LOCAL_MACHINE,Key", K::Skip},
        // Nothing defined to write: no type, no data, no subkey.
        {"HKCU,Key,V=", K::Skip},
        {"HKCU,Key,V=,", K::Skip},
        {"HKCU,Key,V=s", K::Skip},
        {"HKCU,Key,V=s,", K::Skip},
        {"HKCU,Key,V=n,", K::Skip},
        {"HKCU=n,30", K::Skip},
        {"HKCU,=s,x", K::Skip},
        // Any other root ends the section.
        {"HKEY_LOCAL_MACHINE,Software\\X,V=s,x", K::Stop},
        {"HKCC,Key,V=s,x", K::Stop},
        {"HKCUX,Key,V=s,x", K::Stop},
        {" HKCU,Key,V=s,x", K::Stop},
        {"=s,x", K::Stop},
        {"HKEY_LOCAL_MACHINE,Key,V=", K::Stop},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(c.kind, Parse(c.line).kind);
    }
}

// A line cut anywhere writes nothing until its data has begun, and then only the part
// of the data that is there.
TEST(RegistryLine, PrefixesOfALine) {
    const std::string line = "HKCU,Software\\Corvane,a,b=n,-30";
    const size_t dataStart = line.find("=n,") + 3;
    for (size_t length = 0; length <= line.size(); ++length) {
        std::string prefix = line.substr(0, length);
        SCOPED_TRACE(prefix);
        Parsed p = Parse(prefix);
        if (length <= dataStart) {
            EXPECT_EQ(RegistryLineKind::Skip, p.kind);
        } else {
            EXPECT_EQ(RegistryLineKind::Write, p.kind);
            EXPECT_EQ(line.substr(dataStart, length - dataStart), p.data);
        }
    }
}

TEST(RegistryLine, NumbersLikeAtoiHeldInThirtyTwoBits) {
    struct Case {
        const char* text;
        uint32_t value;
    } cases[] = {
        {"30", 30},
        {"  42", 42},
        {"\t\n\v\f\r 5", 5},
        {"+7", 7},
        {"-1", 0xFFFFFFFFu},
        {"-0", 0},
        {"12abc", 12},
        {"abc", 0},
        {"", 0},
        {"- 5", 0},
        {"+-5", 0},
        {"2147483648", 0x80000000u},
        {"4294967295", 0xFFFFFFFFu},
        {"4294967296", 0xFFFFFFFFu},
        {"99999999999999999999999999", 0xFFFFFFFFu},
        {"-2147483648", 0x80000000u},
        {"-2147483649", 0x80000000u},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.value, ParseRegistryNumber(c.text));
    }
}

TEST(RegistryReference, SplitsAtTheFirstAt) {
    const std::string section63(63, 's'), file259(259, 'f');
    const std::string description = "C:\\work\\cvclient.inf";
    struct Case {
        std::string reference, description;
        bool ok;
        std::string section, file;
    } cases[] = {
        {"CvKeys", description, true, "CvKeys", description},
        {"Extra@extra.inf", description, true, "Extra", "extra.inf"},
        {"Extra@C:\\other\\extra.inf", description, true, "Extra", "C:\\other\\extra.inf"},
        {"A@b@c.inf", description, true, "A", "b@c.inf"},
        {section63, description, true, section63, description},
        {section63 + "@" + file259, description, true, section63, file259},
        {section63, file259, true, section63, file259},
        // Too long, or empty: the reference names no section.
        {section63 + "s", description, false, "", ""},
        {section63 + "s@x.inf", description, false, "", ""},
        {"Extra@" + file259 + "f", description, false, "", ""},
        {"CvKeys", file259 + "f", false, "", ""},
        {"", description, false, "", ""},
        {"@extra.inf", description, false, "", ""},
        {"Extra@", description, false, "", ""},
        {"CvKeys", "", false, "", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reference + " | " + c.description);
        RegistrySource source;
        memset(&source, 'x', sizeof source);
        EXPECT_EQ(c.ok,
                  SplitRegistryReference(c.reference.c_str(), c.description.c_str(), &source));
        EXPECT_EQ(c.section, std::string(source.section));
        EXPECT_EQ(c.file, std::string(source.file));
    }
    RegistrySource source;
    EXPECT_FALSE(SplitRegistryReference(nullptr, description.c_str(), &source));
    EXPECT_FALSE(SplitRegistryReference("CvKeys", nullptr, &source));
}
