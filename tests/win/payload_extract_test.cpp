// Extraction of an appended payload into real files: subdirectories, descriptions handed
// over in record order, replaced files, damaged records refused without writing outside
// the work directory.
#include "config/payload_archive_win.h"
#include "shell/directories_win.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct Record {
    std::string name;
    std::string content;
    int nameLength;       // -1: the name's length with its NUL
    int64_t contentSize;  // -1: the content's length
};

Record R(const std::string& name, const std::string& content) { return {name, content, -1, -1}; }

std::string EncodePayload(const std::vector<Record>& records) {
    std::string file = "MZ stand-in for the installer image";
    uint32_t payloadStart = static_cast<uint32_t>(file.size());
    for (const Record& r : records) {
        RecordHeader header = {
            r.contentSize < 0 ? static_cast<uint32_t>(r.content.size())
                              : static_cast<uint32_t>(r.contentSize),
            static_cast<uint16_t>(r.nameLength < 0 ? r.name.size() + 1 : r.nameLength),
            kRecordReservedValue};
        unsigned char bytes[kRecordHeaderSize];
        EncodeRecordHeader(header, bytes);
        file.append(reinterpret_cast<char*>(bytes), sizeof bytes);
        file.append(r.name.c_str(), r.name.size() + 1);
        file += r.content;
    }
    unsigned char trailer[kTrailerSize];
    EncodeTrailer(payloadStart, trailer);
    file.append(reinterpret_cast<char*>(trailer), sizeof trailer);
    return file;
}

void WriteFileBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, file) << path;
    DWORD written = 0;
    WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(file);
    ASSERT_EQ(bytes.size(), written);
}

// Reads a whole file; the share mode fails while a writer still holds the file open.
bool ReadFileBytes(const std::string& path, std::string* bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bytes->clear();
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        bytes->append(buffer, got);
    CloseHandle(file);
    return true;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..") continue;
            std::string child = path + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(child);
            else
                DeleteFileA(child.c_str());
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path.c_str());
}

// Every file and directory below path, as relative paths.
void ListTree(const std::string& path, const std::string& prefix, std::vector<std::string>* out) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::string name = found.cFileName;
        if (name == "." || name == "..") continue;
        out->push_back(prefix + name);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            ListTree(path + "\\" + name, prefix + name + "\\", out);
    } while (FindNextFileA(search, &found));
    FindClose(search);
}

std::vector<std::string> SortedTree(const std::string& path) {
    std::vector<std::string> tree;
    ListTree(path, "", &tree);
    std::sort(tree.begin(), tree.end());
    return tree;
}

// The handler's view: each description path with its content as read at that moment, and
// which other files existed then.
struct Handed {
    std::vector<std::string> paths;
    std::vector<std::string> contents;
    std::vector<bool> laterFileExisted;
    std::string laterFile;
};

void RecordDescription(void* context, const char* path) {
    Handed* handed = static_cast<Handed*>(context);
    std::string content;
    handed->paths.push_back(path);
    handed->contents.push_back(ReadFileBytes(path, &content) ? content : "<not readable>");
    handed->laterFileExisted.push_back(!handed->laterFile.empty() && Exists(handed->laterFile));
}

// A fresh directory under the temporary directory with the work directory inside it, so
// that files written beside the work directory can be seen.
class PayloadExtract : public ::testing::Test {
protected:
    void SetUp() override {
        char temp[MAX_PATH];
        ASSERT_GT(GetTempPathA(sizeof temp, temp), 0u);
        char unique[64];
        wsprintfA(unique, "cvpayload-%lu-%lu", GetCurrentProcessId(), GetTickCount());
        root = std::string(temp) + unique;
        work = root + "\\work";
        ASSERT_TRUE(CreateDirectoryA(root.c_str(), nullptr)) << root;
        ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr)) << work;
        exe = root + "\\setup.exe";
    }
    void TearDown() override { RemoveTree(root); }

    bool Extract(const std::string& fileBytes, Handed* handed) {
        WriteFileBytes(exe, fileBytes);
        return ExtractPayloadFromFile(exe.c_str(), work.c_str(), RecordDescription, handed);
    }

    std::vector<std::string> RootTree() { return SortedTree(root); }

    std::string root, work, exe;
};

}  // namespace

TEST_F(PayloadExtract, WritesEveryRecordAndHandsOverDescriptionsInOrder) {
    const std::string big(5000, 'b');  // crosses the 2048-byte copy chunks
    std::vector<Record> records = {
        R("sub\\a.inf", "[defs]\r\nstrings=s\r\n"),
        R("x.inf.bak", "bak"),
        R("readme", "text"),
        R("empty", ""),
        R("big.bin", big),
        R("X.INF", "[defs]\r\ncomponents=c\r\n"),
    };
    Handed handed;
    handed.laterFile = work + "\\x.inf.bak";
    ASSERT_TRUE(Extract(EncodePayload(records), &handed));

    for (const Record& r : records) {
        std::string content;
        ASSERT_TRUE(ReadFileBytes(work + "\\" + r.name, &content)) << r.name;
        EXPECT_EQ(r.content, content) << r.name;
    }
    EXPECT_TRUE(GetFileAttributesA((work + "\\sub").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    std::vector<std::string> expectedPaths = {work + "\\sub\\a.inf", work + "\\X.INF"};
    EXPECT_EQ(expectedPaths, handed.paths);
    // Each description was complete and closed when handed over, and the next record was
    // not written yet.
    std::vector<std::string> expectedContents = {records[0].content, records[5].content};
    EXPECT_EQ(expectedContents, handed.contents);
    std::vector<bool> expectedLater = {false, true};
    EXPECT_EQ(expectedLater, handed.laterFileExisted);
}

TEST_F(PayloadExtract, ReplacesAnExistingFileWithoutStaleTail) {
    WriteFileBytes(work + "\\tarrock.inf", std::string(3000, 'o'));
    Handed handed;
    ASSERT_TRUE(Extract(EncodePayload({R("tarrock.inf", "[defs]\r\n")}), &handed));
    std::string content;
    ASSERT_TRUE(ReadFileBytes(work + "\\tarrock.inf", &content));
    EXPECT_EQ("[defs]\r\n", content);
    EXPECT_EQ(1u, handed.paths.size());
}

TEST_F(PayloadExtract, WithoutMarkerNothingIsExtracted) {
    Handed handed;
    std::string plain = EncodePayload({R("a.inf", "x")});
    plain[plain.size() - 1] = 'b';  // the marker no longer matches
    EXPECT_TRUE(Extract(plain, &handed));
    EXPECT_TRUE(ExtractPayloadFromFile((root + "\\missing.exe").c_str(), work.c_str(),
                                       RecordDescription, &handed));
    std::vector<std::string> onlyWork = {"setup.exe", "work"};
    EXPECT_EQ(onlyWork, RootTree());
    EXPECT_TRUE(handed.paths.empty());
}

TEST_F(PayloadExtract, DamagedOrEscapingRecordsFailWithoutWritingOutside) {
    struct Case {
        const char* what;
        Record bad;
    };
    const Case cases[] = {
        {"name length 0", {"evil.inf", "x", 0, -1}},
        {"name length 261", {std::string(260, 'e'), "x", -1, -1}},
        {"content past the trailer", {"evil.inf", "x", -1, 100}},
        {"parent directory", R("..\\evil.inf", "x")},
        {"parent through a subdirectory", R("sub/../../evil.inf", "x")},
        {"absolute", R("\\evil.inf", "x")},
        {"drive", R("C:evil.inf", "x")},
        {"joined path too long", R(std::string(250, 'e') + ".inf", "x")},
    };
    for (const Case& c : cases) {
        Handed handed;
        bool result = Extract(
            EncodePayload({R("first.inf", "[defs]\r\n"), c.bad, R("after.inf", "x")}), &handed);
        EXPECT_FALSE(result) << c.what;
        std::vector<std::string> tree = {"setup.exe", "work", "work\\first.inf"};
        EXPECT_EQ(tree, RootTree()) << c.what;
        EXPECT_EQ(1u, handed.paths.size()) << c.what;
        DeleteFileA((work + "\\first.inf").c_str());
    }
}

TEST_F(PayloadExtract, CreateParentDirectoriesCreatesEveryLevelButTheFile) {
    std::string path = work + "\\a/b\\c\\file.txt";
    EXPECT_EQ(1, CreateParentDirectories(path.c_str()));
    std::vector<std::string> tree = {"a", "a\\b", "a\\b\\c"};
    EXPECT_EQ(tree, SortedTree(work));
    EXPECT_EQ(1, CreateParentDirectories(path.c_str()));  // existing directories are fine
}

// The distributable installer, made by the publisher tool, carries the shipped description.
TEST_F(PayloadExtract, ShippedInstallerCarriesItsDescription) {
    if (!Exists(CVSETUP_EXE)) GTEST_SKIP() << CVSETUP_EXE << " not in the working directory";
    Handed handed;
    EXPECT_TRUE(ExtractPayloadFromFile(CVSETUP_EXE, work.c_str(), RecordDescription, &handed));
    std::vector<std::string> expected = {work + "\\tarrock.inf"};
    EXPECT_EQ(expected, handed.paths);
}
