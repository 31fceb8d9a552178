// The work directory and the other directories the installer makes for itself, inside
// this process: a fresh name never takes over what exists, only the current user gets
// in, deletion is guarded (marker, length, nested run), waits a bounded time for a
// holder to let go, and removes a link without following it.
#include "shell/process_state_win.h"
#include "config/private_directory_win.h"
#include "config/work_directory_win.h"
#include "process_support.h"

#include <gtest/gtest.h>
#include <winioctl.h>

#include <string>
#include <vector>

namespace {

// The bytes a test scripts for fresh names and tags, handed out in turn.
std::vector<unsigned char> scriptedBytes;
size_t scriptedAt = 0;

void ScriptedBytes(unsigned char* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i)
        bytes[i] = scriptedBytes[scriptedAt++ % scriptedBytes.size()];
}

class ScriptedRandom {
public:
    explicit ScriptedRandom(std::vector<unsigned char> bytes) {
        scriptedBytes = std::move(bytes);
        scriptedAt = 0;
        g_randomBytesSource = ScriptedBytes;
    }
    ~ScriptedRandom() { g_randomBytesSource = SystemRandomBytes; }
};

// Keeps the prefix's work-directory record as it was before the test.
class RecordGuard {
public:
    RecordGuard() : saved(ReadRecordedWorkDirectory()) {}
    ~RecordGuard() {
        if (saved.empty())
            SetRecordedWorkDirectory("");
        else
            SetRecordedPathOnly(saved);
    }

private:
    std::string saved;
};

struct HeldFile {
    HANDLE file;
    DWORD releaseAfterMs;
};

DWORD WINAPI ReleaseLater(void* data) {
    HeldFile* held = static_cast<HeldFile*>(data);
    Sleep(held->releaseAfterMs);
    CloseHandle(held->file);
    return 0;
}

// The layout of a mount point's reparse data (a junction), which the SDK headers keep
// to the driver kit.
struct MountPointData {
    DWORD tag;
    WORD dataLength;
    WORD reserved;
    WORD substituteOffset;
    WORD substituteLength;
    WORD printOffset;
    WORD printLength;
    WCHAR names[512];
};

// Makes link a junction to target; false where the file system offers none.
bool MakeJunction(const std::string& link, const std::string& target) {
    if (!CreateDirectoryA(link.c_str(), nullptr)) return false;
    std::string substitute = "\\??\\" + target;
    MountPointData data = {};
    int chars = MultiByteToWideChar(CP_ACP, 0, substitute.c_str(), -1, data.names, 500);
    if (chars <= 0) return false;
    data.tag = IO_REPARSE_TAG_MOUNT_POINT;
    data.substituteLength = static_cast<WORD>((chars - 1) * sizeof(WCHAR));
    data.printOffset = static_cast<WORD>(chars * sizeof(WCHAR));
    data.dataLength = static_cast<WORD>(8 + data.printOffset + sizeof(WCHAR));
    HANDLE handle = CreateFileA(link.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    DWORD returned = 0;
    BOOL made = DeviceIoControl(handle, FSCTL_SET_REPARSE_POINT, &data, data.dataLength + 8u,
                                nullptr, 0, &returned, nullptr);
    CloseHandle(handle);
    DWORD attributes = GetFileAttributesA(link.c_str());
    return made && attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
}

// The host's path of a path on Wine's drive Z: (the host's root).
std::string HostPath(std::string path) {
    path = path.substr(2);
    for (char& c : path) c = c == '\\' ? '/' : c;
    return path;
}

// Runs command with the host's shell and waits for it: Wine starts a host program
// without a process handle, so the shell's last word, a file, is waited for.
bool RunHostCommand(const std::string& command, const std::string& doneFile) {
    std::string line =
        "Z:\\bin\\sh -c \"" + command + "; echo done >'" + HostPath(doneFile) + "'\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &info))
        return false;
    if (info.hProcess != nullptr) CloseHandle(info.hProcess);
    if (info.hThread != nullptr) CloseHandle(info.hThread);
    bool done = false;
    for (int i = 0; i < 200 && !done; ++i) {
        done = ReadWholeFile(doneFile).find('\n') != std::string::npos;
        if (!done) Sleep(50);
    }
    DeleteFileA(doneFile.c_str());
    return done;
}

}  // namespace

// Under Wine a host's symbolic link shows as a reparse point. Wine refuses to remove it
// while its target holds files, so the link and the directory around it stay; what
// matters is that nothing is deleted through it.
TEST(WorkDirectory, DeletionNeverGoesThroughAHostLink) {
    const std::string scratch = ModuleDirectory() + "\\link-test";
    const std::string target = scratch + "\\elsewhere";
    const std::string work = scratch + "\\work";
    const std::string link = work + "\\link";
    if (scratch.compare(0, 2, "Z:") != 0)
        GTEST_SKIP() << "the tests do not run from the host's drive";
    RunHostCommand("rm -rf '" + HostPath(scratch) + "'", ModuleDirectory() + "\\link-test.done");
    CreateDirectoryA(scratch.c_str(), nullptr);
    CreateDirectoryA(target.c_str(), nullptr);
    WriteWholeFile(target + "\\precious.txt", "keep me");
    CreateDirectoryA(work.c_str(), nullptr);
    WriteWholeFile(work + "\\part.bin", "part");
    if (!RunHostCommand("ln -s '" + HostPath(target) + "' '" + HostPath(link) + "'",
                        scratch + "\\ln.done") ||
        !FileExists(link))
        GTEST_SKIP() << "no host shell to make a link with";
    EXPECT_EQ("keep me", ReadWholeFile(link + "\\precious.txt"));  // it leads there
    DeleteTree(work.c_str());
    EXPECT_FALSE(FileExists(work + "\\part.bin"));
    EXPECT_EQ("keep me", ReadWholeFile(target + "\\precious.txt"));
    EXPECT_TRUE(RunHostCommand("rm -rf '" + HostPath(scratch) + "'",
                               ModuleDirectory() + "\\link-test.done"));
}

TEST(WorkDirectory, DeletionRemovesAJunctionButNotWhatItPointsTo) {
    ScratchDirectory scratch;
    const std::string target = scratch.Path() + "\\elsewhere";
    const std::string work = scratch.Path() + "\\work";
    CreateDirectoryA(target.c_str(), nullptr);
    WriteWholeFile(target + "\\precious.txt", "keep me");
    CreateDirectoryA(work.c_str(), nullptr);
    WriteWholeFile(work + "\\part.bin", "part");
    if (!MakeJunction(work + "\\link", target))
        GTEST_SKIP() << "this file system offers no junctions";
    EXPECT_EQ("keep me", ReadWholeFile(work + "\\link\\precious.txt"));  // it leads there
    DeleteTree(work.c_str());
    EXPECT_FALSE(FileExists(work));
    EXPECT_EQ("keep me", ReadWholeFile(target + "\\precious.txt"));
}

TEST(PrivateDirectory, AFreshNameNeverTakesOverWhatExists) {
    ScratchDirectory parent;
    // A watcher has made the first name a directory with a program in it, and the
    // second a plain file; the third name is free.
    ScriptedRandom random({0x11, 0x22, 0x33, 0x44, 0xaa, 0xbb, 0xcc, 0xdd, 0x55, 0x66, 0x77, 0x88});
    const std::string planted = parent.Path() + "\\inst11223344";
    ASSERT_TRUE(CreateDirectoryA(planted.c_str(), nullptr));
    WriteWholeFile(planted + "\\setup.exe", "planted");
    WriteWholeFile(parent.Path() + "\\instaabbccdd", "a file");
    char path[MAX_PATH];
    ASSERT_TRUE(CreateFreshDirectory(parent.Path().c_str(), "inst", path));
    EXPECT_EQ(parent.Path() + "\\inst55667788", path);
    EXPECT_EQ("planted", ReadWholeFile(planted + "\\setup.exe"));
    EXPECT_EQ("a file", ReadWholeFile(parent.Path() + "\\instaabbccdd"));

    // Every name taken: no directory, after a bounded number of tries.
    ScriptedRandom stuck({0x11, 0x22, 0x33, 0x44});
    EXPECT_FALSE(CreateFreshDirectory(parent.Path().c_str(), "inst", path));
    EXPECT_STREQ("", path);
    // A parent that does not exist is not worth a second try either.
    EXPECT_FALSE(CreateFreshDirectory((parent.Path() + "\\missing").c_str(), "inst", path));
}

TEST(PrivateDirectory, OnlyTheCurrentUserIsLetIn) {
    ScratchDirectory parent;
    char path[MAX_PATH];
    ASSERT_TRUE(CreateFreshDirectory(parent.Path().c_str(), "inst", path));
    char descriptor[4096];
    DWORD needed = 0;
    ASSERT_TRUE(
        GetFileSecurityA(path, DACL_SECURITY_INFORMATION, descriptor, sizeof descriptor, &needed));
    BOOL present = FALSE, defaulted = FALSE;
    PACL acl = nullptr;
    ASSERT_TRUE(GetSecurityDescriptorDacl(descriptor, &present, &acl, &defaulted));
    ASSERT_TRUE(present);
    ASSERT_NE(nullptr, acl);
    HANDLE token = nullptr;
    ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
    DWORD user[128];
    ASSERT_TRUE(GetTokenInformation(token, TokenUser, user, sizeof user, &needed));
    CloseHandle(token);
    PSID userSid = reinterpret_cast<TOKEN_USER*>(user)->User.Sid;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID system = nullptr;
    ASSERT_TRUE(
        AllocateAndInitializeSid(&nt, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0, 0, 0, &system));
    // Windows keeps the one entry as written; Wine derives the list from the Unix mode
    // it set (0700) and names the system account beside the user. Nobody else, and no
    // Everyone entry as a directory of default security has there.
    bool userAllowed = false;
    for (DWORD i = 0; i < acl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(acl, i, reinterpret_cast<void**>(&ace)));
        PSID sid = &ace->SidStart;
        EXPECT_TRUE(EqualSid(sid, userSid) || EqualSid(sid, system)) << "entry " << i;
        if (ace->Header.AceType == ACCESS_ALLOWED_ACE_TYPE && EqualSid(sid, userSid)) {
            userAllowed = true;
            EXPECT_EQ(OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE, ace->Header.AceFlags & 0x0F);
        }
    }
    FreeSid(system);
    EXPECT_TRUE(userAllowed);
    // The user can still work in it.
    WriteWholeFile(std::string(path) + "\\file.bin", "bytes");
    EXPECT_EQ("bytes", ReadWholeFile(std::string(path) + "\\file.bin"));
}

TEST(WorkDirectory, RemovalWaitsABoundedTimeForAHolderToLetGo) {
    struct Case {
        const char* name;
        DWORD releaseAfterMs;
        DWORD patienceMs;
        bool gone;
    };
    const Case cases[] = {
        {"let go after 400 ms", 400, 5000, true},
        {"held longer than the patience", 3000, 300, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDirectory scratch;
        const std::string work = scratch.Path() + "\\work";
        ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr));
        WriteWholeFile(work + "\\part.bin", "part");
        // Open without sharing deletion, as a process using the file holds it.
        HeldFile held = {CreateFileA((work + "\\part.bin").c_str(), GENERIC_READ, FILE_SHARE_READ,
                                     nullptr, OPEN_EXISTING, 0, nullptr),
                         c.releaseAfterMs};
        ASSERT_NE(INVALID_HANDLE_VALUE, held.file);
        HANDLE releaser = CreateThread(nullptr, 0, ReleaseLater, &held, 0, nullptr);
        ASSERT_NE(nullptr, releaser);
        DWORD start = GetTickCount();
        RemoveTreePatiently(work.c_str(), c.patienceMs);
        DWORD elapsed = GetTickCount() - start;
        EXPECT_EQ(!c.gone, FileExists(work));
        if (c.gone) {
            EXPECT_GE(elapsed, 300u);
        } else {
            EXPECT_GE(elapsed, c.patienceMs);
            EXPECT_LT(elapsed, c.patienceMs + 1000);
        }
        WaitForSingleObject(releaser, INFINITE);
        CloseHandle(releaser);
    }
}

TEST(WorkDirectory, OnlyAMarkedDirectoryOfSixCharactersOrMoreIsDeleted) {
    RecordGuard guard;
    ScratchDirectory scratch;
    struct Case {
        const char* name;
        std::string path;
        enum { Marked, PathOnly, OtherTag } record;
        bool nested;
        int result;
        bool deleted;
    };
    const Case cases[] = {
        {"marked", scratch.Path() + "\\work", Case::Marked, false, 1, true},
        {"documents named by the record", scratch.Path() + "\\Documents", Case::PathOnly, false, 0,
         false},
        {"marker of another tag", scratch.Path() + "\\other", Case::OtherTag, false, 0, false},
        {"six characters", "C:\\cvx", Case::Marked, false, 1, true},
        {"five characters", "C:\\cv", Case::Marked, false, 0, false},
        {"nested run", scratch.Path() + "\\nested", Case::Marked, true, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CreateDirectoryA(c.path.c_str(), nullptr);
        WriteWholeFile(c.path + "\\letter.txt", "dear");
        if (c.record == Case::PathOnly)
            SetRecordedPathOnly(c.path);
        else
            SetRecordedWorkDirectory(c.path);
        if (c.record == Case::OtherTag)
            WriteWholeFile(c.path + "\\cvget.tag", "00000000000000000000000000000000");
        WorkDirectoryRecord record = {};
        record.instance = GetModuleHandleA(nullptr);
        ASSERT_EQ(1, FindWorkDirectory(record));
        EXPECT_EQ(c.path, record.path);
        g_nestedRun = c.nested;
        EXPECT_EQ(c.result, DeleteWorkDirectory(record));
        g_nestedRun = false;
        EXPECT_EQ(!c.deleted, FileExists(c.path + "\\letter.txt"));
        // The record is forgotten unless the run is nested or the path is a drive's.
        EXPECT_EQ(c.nested || c.path.size() < 6 ? c.path : "", ReadRecordedWorkDirectory());
        DeleteFileA((c.path + "\\letter.txt").c_str());
        DeleteFileA((c.path + "\\cvget.tag").c_str());
        RemoveDirectoryA(c.path.c_str());
    }
}

TEST(WorkDirectory, ARecordNamingAnotherFolderGetsAFreshDirectoryInstead) {
    RecordGuard guard;
    ScratchDirectory scratch;
    const std::string documents = scratch.Path() + "\\Documents";
    CreateDirectoryA(documents.c_str(), nullptr);
    WriteWholeFile(documents + "\\letter.txt", "dear");
    SetRecordedPathOnly(documents);
    WorkDirectoryRecord record = {};
    record.instance = GetModuleHandleA(nullptr);
    ASSERT_EQ(1, GetWorkDirectory(record));
    const std::string fresh = record.path;
    EXPECT_NE(documents, fresh);
    EXPECT_EQ(fresh, ReadRecordedWorkDirectory());
    EXPECT_EQ(32u, ReadWholeFile(fresh + "\\cvget.tag").size());
    EXPECT_FALSE(FileExists(documents + "\\cvget.tag"));
    // The next run finds the same directory; a recorded directory that has gone is
    // made again at its place.
    WorkDirectoryRecord again = {};
    again.instance = record.instance;
    ASSERT_EQ(1, GetWorkDirectory(again));
    EXPECT_EQ(fresh, again.path);
    EXPECT_EQ(1, DeleteWorkDirectory(again));
    EXPECT_FALSE(FileExists(fresh));
    SetRecordedPathOnly(fresh);
    ASSERT_EQ(1, GetWorkDirectory(again));
    EXPECT_EQ(fresh, again.path);
    EXPECT_EQ(1, DeleteWorkDirectory(again));
    EXPECT_FALSE(FileExists(fresh));
    EXPECT_EQ("dear", ReadWholeFile(documents + "\\letter.txt"));
}
