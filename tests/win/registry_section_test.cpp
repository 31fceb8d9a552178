// ApplyRegistrySection against real description files and Wine's registry: values are
// read back with their type and bytes. Every key a test creates is deleted afterwards,
// also when the test fails.
#include "install/registry_section_win.h"

#include "process_support.h"
#include "read_only_key.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string base = "Software\\Corvane\\Corvane\\Tests\\RegistrySection";

void DeleteKeyTree(HKEY parent, const std::string& path) {
    HKEY key;
    if (RegOpenKeyExA(parent, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return;
    char name[256];
    DWORD size = sizeof name;
    while (RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) ==
           ERROR_SUCCESS) {
        DeleteKeyTree(key, name);
        size = sizeof name;
    }
    RegCloseKey(key);
    RegDeleteKeyA(parent, path.c_str());
}

// Deletes, at the end, the outermost key of path that did not exist at the start.
class KeyGuard {
public:
    KeyGuard(HKEY root, const std::string& path) : root(root) {
        size_t end = 0;
        do {
            end = path.find('\\', end + 1);
            std::string prefix = path.substr(0, end);
            HKEY key;
            if (RegOpenKeyExA(root, prefix.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
                created = prefix;
                return;
            }
            RegCloseKey(key);
        } while (end != std::string::npos);
    }
    ~KeyGuard() {
        if (!created.empty()) DeleteKeyTree(root, created);
    }

private:
    HKEY root;
    std::string created;
};

// A file in the Windows directory, deleted at the end.
class WindowsFile {
public:
    explicit WindowsFile(const std::string& name) : name(name) {
        char windows[MAX_PATH] = {};
        GetWindowsDirectoryA(windows, MAX_PATH);
        path = std::string(windows) + "\\" + name;
    }
    ~WindowsFile() { DeleteFileA(path.c_str()); }
    std::string name, path;
};

::testing::AssertionResult HasValue(HKEY root, const std::string& key, const char* name, DWORD type,
                                    const std::string& bytes) {
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return ::testing::AssertionFailure() << "no key " << key;
    BYTE data[512];
    DWORD foundType = 0, size = sizeof data;
    LONG status = RegQueryValueExA(handle, name, nullptr, &foundType, data, &size);
    RegCloseKey(handle);
    if (status != ERROR_SUCCESS)
        return ::testing::AssertionFailure() << "no value " << (name ? name : "(default)");
    std::string found(reinterpret_cast<char*>(data), size);
    if (foundType != type || found != bytes)
        return ::testing::AssertionFailure()
               << "type " << foundType << ", " << size << " bytes \"" << found << "\"";
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult HasText(HKEY root, const std::string& key, const char* name,
                                   const std::string& text) {
    return HasValue(root, key, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
}

::testing::AssertionResult HasNumber(HKEY root, const std::string& key, const char* name,
                                     DWORD number) {
    return HasValue(root, key, name, REG_DWORD,
                    std::string(reinterpret_cast<const char*>(&number), sizeof number));
}

// Whether the key exists and, when a value name is given, holds that value.
bool Exists(HKEY root, const std::string& key, const char* name = nullptr) {
    HKEY handle;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return false;
    bool found = name == nullptr || RegQueryValueExA(handle, name, nullptr, nullptr, nullptr,
                                                     nullptr) == ERROR_SUCCESS;
    RegCloseKey(handle);
    return found;
}

class RegistrySection : public ::testing::Test {
protected:
    // Writes the description file; sections is the text after its [cvclient] section.
    void WriteDescription(const std::string& sections) {
        WriteWholeFile(description,
                       "[cvclient]\r\nname=Client\r\nregistry1=CvKeys\r\n\r\n" + sections);
    }
    RegistrySectionResult Apply(const std::string& reference) {
        return ApplyRegistrySection(description.c_str(), reference.c_str());
    }

    KeyGuard userKeys{HKEY_CURRENT_USER, base};
    KeyGuard machineKeys{HKEY_LOCAL_MACHINE, base};
    ScratchDirectory scratch;
    std::string description = scratch.Path() + "\\cvclient.inf";
};

}  // namespace

TEST_F(RegistrySection, WritesEveryLineAndPassesOverTheSkippedOnes) {
    KeyGuard document(HKEY_CLASSES_ROOT, "CvDoc.File");
    WriteDescription(
        "[CvKeys]\r\n"
        "HKCU," +
        base +
        "\\Settings,Interval=n,30\r\n"
        "HKLM," +
        base +
        ",Data Path=string,C:\\Corvane\\data\r\n"
        "HKCR,CvDoc.File=s,Corvane Document\r\n"
        "HKCU," +
        base +
        ",a,b=s,x\r\n"
        "HKCU," +
        base +
        ",List=s,one,two\r\n"
        "hkcu," +
        base +
        ",Negative=N,-1\r\n"
        "HKCU," +
        base +
        ",Raw=s,%CorvaneClient%\r\n"
        ";HKCU," +
        base +
        ",Comment=s,x\r\n"
        "HKCU," +
        base +
        ",NoEquals\r\n"
        "HKCU," +
        base +
        ",NoType=\r\n"
        "HKCU," +
        base +
        ",NoData=s\r\n"
        "HKCU," +
        base +
        ",EmptyData=s,\r\n"
        "HKCU," +
        base + ",After=s,written\r\n");
    EXPECT_EQ(RegistrySectionResult::Applied, Apply("CvKeys"));
    EXPECT_TRUE(HasNumber(HKEY_CURRENT_USER, base + "\\Settings", "Interval", 30));
    EXPECT_TRUE(HasText(HKEY_LOCAL_MACHINE, base, "Data Path", "C:\\Corvane\\data"));
    EXPECT_TRUE(HasText(HKEY_CLASSES_ROOT, "CvDoc.File", nullptr, "Corvane Document"));
    EXPECT_TRUE(HasText(HKEY_CURRENT_USER, base, "a,b", "x"));
    EXPECT_TRUE(HasText(HKEY_CURRENT_USER, base, "List", "one,two"));
    EXPECT_TRUE(HasNumber(HKEY_CURRENT_USER, base, "Negative", 0xFFFFFFFFu));
    // The section is read raw: a reference in registry data is stored as written.
    EXPECT_TRUE(HasText(HKEY_CURRENT_USER, base, "Raw", "%CorvaneClient%"));
    for (const char* name : {"Comment", "NoEquals", "NoType", "NoData", "EmptyData"})
        EXPECT_FALSE(Exists(HKEY_CURRENT_USER, base, name)) << name;
    EXPECT_TRUE(HasText(HKEY_CURRENT_USER, base, "After", "written"));
}

TEST_F(RegistrySection, ReadsTheSectionOfAnotherFile) {
    WindowsFile extra("cvregsec.inf");
    WriteWholeFile(extra.path, "[Extra]\r\nHKCU," + base + ",From=s,windows directory\r\n");
    WriteDescription("[Extra]\r\nHKCU," + base + ",From=s,description\r\n");

    EXPECT_EQ(RegistrySectionResult::Applied, Apply("Extra@" + extra.name));
    EXPECT_TRUE(HasText(HKEY_CURRENT_USER, base, "From", "windows directory"));
    EXPECT_EQ(RegistrySectionResult::Applied, Apply("Extra"));
    EXPECT_TRUE(HasText(HKEY_CURRENT_USER, base, "From", "description"));
}

TEST_F(RegistrySection, AnUnknownRootStopsTheSectionAndKeepsTheEarlierLines) {
    WriteDescription(
        "[CvKeys]\r\n"
        "HKCU," +
        base +
        ",First=s,1\r\n"
        "HKEY_LOCAL_MACHINE," +
        base +
        ",Second=s,2\r\n"
        "HKCU," +
        base + ",Third=s,3\r\n");
    EXPECT_EQ(RegistrySectionResult::UnknownRoot, Apply("CvKeys"));
    EXPECT_TRUE(HasText(HKEY_CURRENT_USER, base, "First", "1"));
    EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, base));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, base, "Third"));
}

TEST_F(RegistrySection, AKeyThatCannotBeCreatedStopsTheSection) {
    // A key under a volatile key must be volatile too, so RegCreateKeyA refuses it.
    HKEY parent, volatileKey;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, base.c_str(), &parent));
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(parent, "Volatile", 0, nullptr, REG_OPTION_VOLATILE,
                                             KEY_ALL_ACCESS, nullptr, &volatileKey, nullptr));
    RegCloseKey(volatileKey);
    RegCloseKey(parent);
    WriteDescription(
        "[CvKeys]\r\n"
        "HKCU," +
        base +
        ",First=s,1\r\n"
        "HKCU," +
        base +
        "\\Volatile\\Lasting,Second=s,2\r\n"
        "HKCU," +
        base + ",Third=s,3\r\n");
    EXPECT_EQ(RegistrySectionResult::KeyNotWritable, Apply("CvKeys"));
    EXPECT_TRUE(HasText(HKEY_CURRENT_USER, base, "First", "1"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, base + "\\Volatile\\Lasting"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, base, "Third"));
}

TEST_F(RegistrySection, AValueTheUserMayNotWriteStopsTheSection) {
    ReadOnlyKey locked(HKEY_CURRENT_USER, base + "Locked");
    ASSERT_TRUE(locked.Ready());
    WriteDescription("[CvKeys]\r\nHKCU," + base + ",First=s,1\r\nHKCU," + base +
                     "Locked,Denied=n,7\r\nHKCU," + base + ",Third=s,3\r\n");
    EXPECT_EQ(RegistrySectionResult::ValueNotWritten, Apply("CvKeys"));
    EXPECT_TRUE(HasText(HKEY_CURRENT_USER, base, "First", "1"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, base + "Locked", "Denied"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, base, "Third"));
}

TEST_F(RegistrySection, NothingToReadWritesNothing) {
    const std::string name63(63, 'S');
    // A reference that cannot be held whole must not be cut to the name of another section.
    WriteDescription(
        "[Empty]\r\n\r\n"
        "[" +
        name63 + "]\r\nHKCU," + base +
        ",Cut=s,x\r\n"
        "[Skipped]\r\nHKCU," +
        base + ",NoData=s\r\n");
    EXPECT_EQ(RegistrySectionResult::NoSection, Apply("Empty"));
    EXPECT_EQ(RegistrySectionResult::NoSection, Apply("Missing"));
    EXPECT_EQ(RegistrySectionResult::NoSection, Apply("Empty@" + scratch.Path() + "\\missing.inf"));
    EXPECT_EQ(RegistrySectionResult::NoSection, Apply(name63 + "S"));
    // Lines that are all skipped still make a section that was applied.
    EXPECT_EQ(RegistrySectionResult::Applied, Apply("Skipped"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, base));
}

TEST_F(RegistrySection, ASectionTooLargeForTheBufferLeavesOutItsCutLastLine) {
    // Lines without "=" are skipped; they fill the buffer so that the last line is cut
    // inside its number: applied, it would store 1234 instead of 123456789.
    std::string section = "[CvKeys]\r\nHKCU," + base + ",Early=s,e\r\n";
    std::string listed = "HKCU," + base + ",Early=s,e";
    listed.push_back('\0');
    for (int i = 0; listed.size() < 16300; ++i) {
        std::string filler = "filler line " + std::to_string(100000 + i);
        section += filler + "\r\n";
        listed += filler;
        listed.push_back('\0');
    }
    std::string last = "HKCU," + base + ",Cut=n,123456789";
    std::string pad(16384 - 2 - listed.size() - (last.size() - 5), 'p');
    section += pad + "\r\n" + last + "\r\n";
    WriteDescription(section);
    // The profile read itself cuts the last line inside its number.
    std::string read(16384, '\0');
    ASSERT_EQ(16382u, GetPrivateProfileSectionA("CvKeys", &read[0], 16384, description.c_str()));
    ASSERT_NE(std::string::npos, read.find("Cut=n,12"));
    ASSERT_EQ(std::string::npos, read.find("123456789"));

    EXPECT_EQ(RegistrySectionResult::SectionTooLarge, Apply("CvKeys"));
    EXPECT_TRUE(HasText(HKEY_CURRENT_USER, base, "Early", "e"));
    EXPECT_FALSE(Exists(HKEY_CURRENT_USER, base, "Cut"));
}
