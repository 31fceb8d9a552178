// The one reader of registry text values, against values written as another program
// (or a hostile one) may leave them: without a terminator, too long, of another type.
#include "common/registry_text_win.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char kTestKey[] = "Software\\Corvane\\Tests\\RegistryText";

struct Case {
    const char* name;
    DWORD type;
    std::string bytes;  // stored as they are, a terminator only where written
    size_t outSize;
    bool read;
    const char* text;
};

const Case kCases[] = {
    {"terminated", REG_SZ, std::string("C:\\Client\0", 10), 32, true, "C:\\Client"},
    {"without terminator", REG_SZ, "C:\\Client", 32, true, "C:\\Client"},
    {"unexpanded", REG_EXPAND_SZ, std::string("%WINDIR%\0", 9), 32, true, "%WINDIR%"},
    {"up to the first NUL", REG_SZ, std::string("ab\0cd\0", 6), 32, true, "ab"},
    {"empty", REG_SZ, std::string("\0", 1), 32, true, ""},
    {"exactly fits", REG_SZ, "abcd", 5, true, "abcd"},
    {"one too long", REG_SZ, "abcde", 5, false, ""},
    {"a number", REG_DWORD, std::string("\x01\x00\x00\x00", 4), 32, false, ""},
    {"binary", REG_BINARY, "text", 32, false, ""},
    {"beyond the reader's limit", REG_SZ, std::string(kRegistryTextLimit + 1, 'x'),
     kRegistryTextLimit * 2, false, ""},
};

}  // namespace

TEST(RegistryText, ReadsTextValuesOnlyWholeAndTerminated) {
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, kTestKey, &key));
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, "Value", 0, c.type,
                                                reinterpret_cast<const BYTE*>(c.bytes.data()),
                                                static_cast<DWORD>(c.bytes.size())));
        std::string out(c.outSize, '?');
        EXPECT_EQ(c.read, ReadRegistryText(key, "Value", &out[0], out.size()));
        EXPECT_STREQ(c.text, out.c_str());
        out.assign(c.outSize, '?');
        EXPECT_EQ(c.read,
                  ReadRegistryText(HKEY_CURRENT_USER, kTestKey, "Value", &out[0], out.size()));
        EXPECT_STREQ(c.text, out.c_str());
    }
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
}

TEST(RegistryText, AMissingValueOrKeyIsNotRead) {
    char out[16] = "stale";
    EXPECT_FALSE(ReadRegistryText(HKEY_CURRENT_USER, kTestKey, "Value", out, sizeof out));
    EXPECT_STREQ("", out);
    HKEY key = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, kTestKey, &key));
    CopyText(out, "stale");
    EXPECT_FALSE(ReadRegistryText(key, "Missing", out, sizeof out));
    EXPECT_STREQ("", out);
    RegCloseKey(key);
    RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
}
