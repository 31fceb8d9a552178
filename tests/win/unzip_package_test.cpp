// The extension library cvgetex.dll, loaded the way the installer loads it, unpacking the
// archives that tests/extension/make-archives made with Info-ZIP zip (archives\ beside the
// test program): whole trees compared byte for byte, damaged archives that leave no file
// under the failed entry's name and nothing outside the destination, and the flag.
#include "process_support.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace {

typedef int(__cdecl* UnzipPackageFunction)(const char*, const char*, int);

// The export as the installer finds it: the library by its name (the standard search
// starts beside the program), then the undecorated name. The detour through void (*)()
// is the one cast of a FARPROC that the compiler accepts as intended.
UnzipPackageFunction Export() {
    static HMODULE library = LoadLibraryA("cvgetex.dll");
    if (library == nullptr) return nullptr;
    return reinterpret_cast<UnzipPackageFunction>(
        reinterpret_cast<void (*)()>(GetProcAddress(library, "UnzipPackage")));
}

int Unzip(const std::string& package, const std::string& destination, int flag) {
    UnzipPackageFunction unzip = Export();
    if (unzip == nullptr) {
        ADD_FAILURE() << "cvgetex.dll or its export UnzipPackage is missing";
        return -1;
    }
    return unzip(package.c_str(), destination.c_str(), flag);
}

std::string ArchivePath(const std::string& name) {
    return ModuleDirectory() + "\\archives\\" + name + ".zip";
}

std::string ExpectedTree(const std::string& name) {
    return ModuleDirectory() + "\\archives\\expected\\" + name;
}

// Every file and folder under root: relative name -> content, or "<folder>".
void ListTree(const std::string& root, const std::string& relative,
              std::map<std::string, std::string>* tree) {
    WIN32_FIND_DATAA found;
    std::string folder = relative.empty() ? root : root + "\\" + relative;
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        std::string child = relative.empty() ? name : relative + "\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            (*tree)[child] = "<folder>";
            ListTree(root, child, tree);
        } else {
            (*tree)[child] = ReadWholeFile(root + "\\" + child);
        }
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::map<std::string, std::string> Tree(const std::string& root) {
    std::map<std::string, std::string> tree;
    ListTree(root, "", &tree);
    return tree;
}

// The names under root, for messages and comparisons that need no content.
std::string Names(const std::string& root) {
    std::string names;
    for (const auto& item : Tree(root)) names += item.first + ";";
    return names;
}

// Differences between two trees by name; the contents can be megabytes.
std::string Differences(const std::map<std::string, std::string>& expected,
                        const std::map<std::string, std::string>& found) {
    std::string text;
    for (const auto& item : expected) {
        auto other = found.find(item.first);
        if (other == found.end())
            text += "missing " + item.first + "; ";
        else if (other->second != item.second)
            text += "differs " + item.first + "; ";
    }
    for (const auto& item : found)
        if (expected.count(item.first) == 0) text += "extra " + item.first + "; ";
    return text;
}

TEST(UnzipPackage, ArchivesUnpackToTheirTreesInNewFolders) {
    for (const char* name : {"tree", "big", "stored", "piped", "stdin"}) {
        SCOPED_TRACE(name);
        ScratchDirectory scratch;
        std::string destination = scratch.Path() + "\\new\\parents\\" + name;
        ASSERT_EQ(1, Unzip(ArchivePath(name), destination, 0));
        std::map<std::string, std::string> expected = Tree(ExpectedTree(name));
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ("", Differences(expected, Tree(destination)));
        // Unpacking again over the same files replaces them with the same bytes.
        ASSERT_EQ(1, Unzip(ArchivePath(name), destination, 0));
        EXPECT_EQ("", Differences(expected, Tree(destination)));
    }
}

TEST(UnzipPackage, DestinationIsTakenWithSlashesAndATrailingSeparator) {
    ScratchDirectory scratch;
    std::string forward = scratch.Path() + "/a/b/";
    ASSERT_EQ(1, Unzip(ArchivePath("stored"), forward, 0));
    EXPECT_EQ("", Differences(Tree(ExpectedTree("stored")), Tree(scratch.Path() + "\\a\\b")));
    ASSERT_EQ(1, Unzip(ArchivePath("stored"), scratch.Path() + "\\c\\", 0));
    EXPECT_EQ("", Differences(Tree(ExpectedTree("stored")), Tree(scratch.Path() + "\\c")));
}

// A refused or failing archive: result 0, and afterwards exactly these names in the
// scratch folder (the destination is "out" in it).
TEST(UnzipPackage, DamagedArchivesLeaveNoFileUnderAFailedName) {
    struct Case {
        const char* archive;
        const char* names;
    };
    const Case cases[] = {
        {"truncated", ""},  // refused before the destination is made
        {"dotdot", ""},     // "first.txt" comes first, yet nothing is written
        {"absolute", ""},
        {"missing", ""},                    // no such archive
        {"corrupt", "out;out\\good.txt;"},  // good.txt was complete before bad.bin failed
        {"bigcorrupt", "out;"},             // 10 MB inflated into a temporary file, then removed
        {"oversized", "out;"},              // inflating stops at the declared size
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.archive);
        ScratchDirectory scratch;
        EXPECT_EQ(0, Unzip(ArchivePath(c.archive), scratch.Path() + "\\out", 0));
        EXPECT_EQ(c.names, Names(scratch.Path()));
        std::string root = scratch.Path().substr(0, 3);
        EXPECT_FALSE(FileExists(root + "evil.txt"));
    }
    // A file that the failing entry was to replace stays as it was.
    ScratchDirectory scratch;
    WriteWholeFile(scratch.Path() + "\\big.txt", "mine");
    EXPECT_EQ(0, Unzip(ArchivePath("bigcorrupt"), scratch.Path(), 0));
    EXPECT_EQ("mine", ReadWholeFile(scratch.Path() + "\\big.txt"));
    EXPECT_EQ("big.txt;", Names(scratch.Path()));
}

// A zip bomb is refused from its declared sizes, before anything is written; the same
// ratio below the floor unpacks.
TEST(UnzipPackage, ABombWritesNothingZerosBelowTheFloorUnpack) {
    ScratchDirectory scratch;
    EXPECT_EQ(0, Unzip(ArchivePath("bomb"), scratch.Path() + "\\bomb", 0));
    EXPECT_EQ("", Names(scratch.Path()));
    ASSERT_EQ(1, Unzip(ArchivePath("zeros"), scratch.Path() + "\\zeros", 0));
    EXPECT_EQ(std::string(1 << 20, '\0'), ReadWholeFile(scratch.Path() + "\\zeros\\zeros.bin"));
}

// archives\linked holds "data", a symbolic link to archives\outside (made by
// make-archives: Wine shows a host link to a folder as a reparse point). No entry below
// it is written, whether the link is the entry's folder, above it, or the entry itself.
TEST(UnzipPackage, NothingIsWrittenThroughALinkBelowTheDestination) {
    std::string destination = ModuleDirectory() + "\\archives\\linked";
    std::string outside = ModuleDirectory() + "\\archives\\outside";
    DWORD attributes = GetFileAttributesA((destination + "\\data").c_str());
    ASSERT_NE(INVALID_FILE_ATTRIBUTES, attributes);
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0)
        GTEST_SKIP() << "this Wine does not show the link as a reparse point";
    for (const char* archive : {"linked", "linkeddeep", "linkedfolder"}) {
        SCOPED_TRACE(archive);
        EXPECT_EQ(0, Unzip(ArchivePath(archive), destination, 0));
        EXPECT_EQ("", Names(outside));
        EXPECT_EQ("data;", Names(destination));
    }
    // An entry beside the link still unpacks: only what lies below it is refused.
    ASSERT_EQ(1, Unzip(ArchivePath("stdin"), destination, 0));
    EXPECT_EQ("-;data;", Names(destination));
    EXPECT_EQ("", Names(outside));
    DeleteFileA((destination + "\\-").c_str());
}

TEST(UnzipPackage, FlagZeroReplacesOtherFlagsKeep) {
    struct Case {
        int flag;
        bool replaced;
    };
    const Case cases[] = {{0, true}, {1, false}, {2, false}, {-1, false}};
    std::string readme = ReadWholeFile(ExpectedTree("stored") + "\\readme.txt");
    std::string table = ReadWholeFile(ExpectedTree("stored") + "\\data\\table.bin");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.flag);
        ScratchDirectory scratch;
        WriteWholeFile(scratch.Path() + "\\readme.txt", "mine");
        ASSERT_EQ(1, Unzip(ArchivePath("stored"), scratch.Path(), c.flag));
        EXPECT_EQ(c.replaced ? readme : "mine", ReadWholeFile(scratch.Path() + "\\readme.txt"));
        EXPECT_EQ(table, ReadWholeFile(scratch.Path() + "\\data\\table.bin"));
        EXPECT_EQ("data;data\\table.bin;readme.txt;", Names(scratch.Path()));
    }
    // A kept file does not spare its entry the check: the damaged entry still fails.
    ScratchDirectory scratch;
    WriteWholeFile(scratch.Path() + "\\bad.bin", "mine");
    EXPECT_EQ(0, Unzip(ArchivePath("corrupt"), scratch.Path(), 1));
    EXPECT_EQ("mine", ReadWholeFile(scratch.Path() + "\\bad.bin"));
}

TEST(UnzipPackage, UnusableArgumentsFail) {
    ScratchDirectory scratch;
    WriteWholeFile(scratch.Path() + "\\file", "x");
    EXPECT_EQ(0, Unzip(ArchivePath("stored"), scratch.Path() + "\\file", 0));
    EXPECT_EQ(0, Unzip(ArchivePath("stored"), "", 0));
    EXPECT_EQ(0, Unzip("", scratch.Path() + "\\out", 0));
    EXPECT_EQ(0, Unzip(scratch.Path() + "\\file", scratch.Path() + "\\out", 0));  // not a zip
    // No room under 260 characters for the archive's names.
    std::string deep = scratch.Path() + "\\" + std::string(244 - scratch.Path().size() - 1, 'd');
    EXPECT_EQ(0, Unzip(ArchivePath("stored"), deep, 0));
    EXPECT_EQ("file;", Names(scratch.Path()));
    UnzipPackageFunction unzip = Export();
    ASSERT_NE(nullptr, unzip);
    EXPECT_EQ(0, unzip(nullptr, scratch.Path().c_str(), 0));
    EXPECT_EQ(0, unzip(ArchivePath("stored").c_str(), nullptr, 0));
}

}  // namespace
