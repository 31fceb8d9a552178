// The component table with real description files, real files along the search path,
// real version resources and real class ids in the registry, read back from the rows
// of a hidden download dialog and from the run it shows.
#include "config/component_table_win.h"
#include "config/string_table.h"
#include "process_support.h"
#include "ui/download_dialog_win.h"
#include "shell/resource_ids.h"
#include "shell/window_win.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const char testClassId[] = "{6C1E2A54-94A1-4B7E-9F35-0D6B1D2E7A11}";

struct Row {
    std::string name, size, status;
    int32_t displayOrder;
    int32_t status_value;
};

// Opens dialog 101 hidden, lets it read the description (and nothing more: no
// download starts), and reads every row back.
class ProbeDialog : public DownloadDialog {
public:
    ProbeDialog(char* work, const char* description)
        : DownloadDialog(work, true, false, description, false) {}

    INT_PTR OnInitDialog() override {
        LoadDescriptions(run);
        ShowComponentList();
        return 1;
    }

    INT_PTR DialogProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        INT_PTR result = DownloadDialog::DialogProc(message, wParam, lParam);
        if (message == WM_INITDIALOG) {
            visible = IsWindowVisible(windowHandle) != FALSE;
            countAtStart = run.ComponentCount();
            ReadRows();
            if (probe) probe(*this);
            EndDialog(windowHandle, IDOK);
        }
        return result;
    }

    std::vector<Row> rows;
    bool visible = true;
    int countAtStart = -1;
    void (*probe)(ProbeDialog&) = nullptr;

    std::string Cell(int row, int column) {
        char text[260] = {};
        LVITEMA item = {};
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = sizeof(text);
        SendMessageA(listView, LVM_GETITEMTEXTA, row, reinterpret_cast<LPARAM>(&item));
        return text;
    }

private:
    void ReadRows() {
        int count = static_cast<int>(SendMessageA(listView, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            const Component* c = run.ComponentAt(i);
            rows.push_back({Cell(i, 0), Cell(i, 1), Cell(i, 2), c->displayOrder, c->status});
        }
    }
};

class ComponentTable : public ::testing::Test {
protected:
    void SetUp() override {
        SetInstance(GetModuleHandleA(nullptr));
        InitCommonControls();
        EmptyStringTableForTests();
        GetCurrentDirectoryA(MAX_PATH, savedDirectory);
        // The current directory holds a.dll: a bare name must still not find it there.
        SetCurrentDirectoryA(work.Path().c_str());
        CopyText(workPath, work.Path().c_str());
    }
    void TearDown() override {
        SetCurrentDirectoryA(savedDirectory);
        EmptyStringTableForTests();
    }
    std::string Description(const std::string& text) {
        std::string path = work.Path() + "\\desc.inf";
        WriteWholeFile(path, text);
        return path;
    }
    void UseLibrary(const char* built) {
        CopyFileA((ModuleDirectory() + "\\" + built).c_str(), (work.Path() + "\\a.dll").c_str(),
                  FALSE);
    }
    struct Outcome {
        std::vector<Row> rows;
        bool visible;
        bool allowIntervention;
        int componentCount;
    };
    Outcome Run(const std::string& description) {
        ProbeDialog dialog(workPath, description.c_str());
        EXPECT_EQ(IDOK, dialog.DoModal(nullptr));
        return {dialog.rows, dialog.visible, dialog.run.allowIntervention, dialog.countAtStart};
    }
    ScratchDirectory work;
    char workPath[260];
    char savedDirectory[MAX_PATH];
};

}  // namespace

TEST_F(ComponentTable, EveryKindOfComponentBecomesARow) {
    WriteWholeFile(work.Path() + "\\local.bin", "here");
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CLASSES_ROOT,
                                           (std::string("CLSID\\") + testClassId).c_str(), &key));
    RegSetValueA(key, nullptr, REG_SZ, "test", 4);
    RegCloseKey(key);
    std::string path = Description(
        "[defs]\r\ncomponents=web, ftp ,copy,cd,self,off,unnamed,present,registered\r\n"
        "strings=S\r\n"
        "[S]\r\nHost=packages.example\r\n"
        "[web]\r\nname=Web client\r\nsize=6348\r\nsite=%Host%\r\nfiles=client.exe\r\n"
        "Protocol=http\r\ndisplayOrder=10\r\n"
        "[ftp]\r\nname=Ftp part\r\nsite=ftp.example\r\nfiles=f.bin\r\nProtocol=FTP\r\n"
        "DisplayOrder=20\r\n"
        "[copy]\r\nname=Copied\r\nProtocol=copy\r\nSourceDir=C:\\nowhere\r\nfiles=x.dat\r\n"
        "DisplayOrder=30\r\n"
        "[cd]\r\nname=From CD\r\nProtocol=cdrom\r\nfiles=win_tests.exe\r\nDisplayOrder=40\r\n"
        "[self]\r\nname=Bundled\r\nfiles=local.bin\r\nDisplayOrder=50\r\n"
        "[off]\r\nname=Disabled\r\nenable=0\r\n"
        "[unnamed]\r\nsize=5\r\n"
        "[present]\r\nname=System part\r\nNoDownloadIfFilesExist=kernel32.dll\r\n"
        "DisplayOrder=60\r\n"
        "[registered]\r\nname=Registered\r\nNoDownloadIfObjectsExist=" +
        std::string(testClassId) + "\r\nDisplayOrder=70\r\n");
    Outcome dialog = Run(path);
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + testClassId).c_str());

    EXPECT_FALSE(dialog.visible);
    ASSERT_EQ(7u, dialog.rows.size());
    EXPECT_EQ(7, dialog.componentCount);
    struct Expected {
        const char* name;
        const char* size;
        const char* status;
    };
    const Expected expected[] = {
        {"Web client", "6348KB", "Need to download."}, {"Ftp part", "", "Need to download."},
        {"Copied", "", "Need to download."},           {"From CD", "", "Has been downloaded."},
        {"Bundled", "", "Has been downloaded."},       {"System part", "", "Already installed"},
        {"Registered", "", "Already installed"},
    };
    for (size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(expected[i].name, dialog.rows[i].name) << i;
        EXPECT_EQ(expected[i].size, dialog.rows[i].size) << i;
        EXPECT_EQ(expected[i].status, dialog.rows[i].status) << i;
    }
}

TEST_F(ComponentTable, EveryListedClassIdMustBeRegistered) {
    HKEY key;
    ASSERT_EQ(
        0, RegCreateKeyA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + testClassId).c_str(), &key));
    RegSetValueA(key, nullptr, REG_SZ, "test", 4);
    RegCloseKey(key);
    const std::string absent = "{6C1E2A54-94A1-4B7E-9F35-0D6B1D2E7A12}";
    struct Case {
        std::string objects;
        ComponentStatus status;
    };
    const Case cases[] = {
        {testClassId, AlreadyInstalled},
        {absent, NeedsDownload},
        {std::string(testClassId) + "," + absent, NeedsDownload},
        {absent + " " + testClassId, NeedsDownload},
    };
    for (const Case& c : cases) {
        EmptyStringTableForTests();
        Outcome dialog =
            Run(Description("[defs]\r\ncomponents=x\r\n[x]\r\nname=X\r\n"
                            "NoDownloadIfObjectsExist=" +
                            c.objects + "\r\n"));
        ASSERT_EQ(1u, dialog.rows.size());
        EXPECT_EQ(c.status, dialog.rows[0].status_value) << c.objects;
    }
    RegDeleteKeyA(HKEY_CLASSES_ROOT, (std::string("CLSID\\") + testClassId).c_str());
}

TEST_F(ComponentTable, RowsAreSortedByDisplayOrder) {
    Outcome dialog = Run(Description(
        "[defs]\r\ncomponents=b,a,c\r\n[a]\r\nname=A\r\nDisplayOrder=10\r\n"
        "[b]\r\nname=B\r\nDisplayOrder=20\r\n[c]\r\nname=C\r\nDisplayOrder=-2147483648\r\n"));
    ASSERT_EQ(3u, dialog.rows.size());
    EXPECT_EQ("C", dialog.rows[0].name);
    EXPECT_EQ("A", dialog.rows[1].name);
    EXPECT_EQ("B", dialog.rows[2].name);
}

TEST_F(ComponentTable, FileVersionsAndProductVersionsDecideInstalled) {
    struct Case {
        const char* library;
        const char* requirement;
        bool installed;
    };
    // "A:" stands for the full path of the work directory, which holds a.dll.
    const Case cases[] = {
        {"version471.dll", "A:a.dll:#4.71", true},
        {"version470.dll", "A:a.dll:#4.71", false},
        {"version470.dll", "A:a.dll:#4.70.9999", true},
        {"version471.dll", "A:a.dll:5", false},
        {"version471.dll", "A:a.dll:4.71.0.0", true},
        {"version471.dll", "A:a.dll", true},
        {"version471.dll", "A:a.dll:#4.71, missing.dll", false},
        // Found only along the search path (the current directory): not installed.
        {"version471.dll", "a.dll", false},
        {"version471.dll", "a.dll:#4.71", false},
        {"version471.dll", ".\\a.dll", false},
        // A bare name is looked for in the system folder.
        {"version471.dll", "kernel32.dll", true},
        {"version471.dll", "A:", false},  // the folder itself is no file
    };
    for (const Case& c : cases) {
        UseLibrary(c.library);
        EmptyStringTableForTests();
        std::string requirement = c.requirement;
        if (requirement.compare(0, 2, "A:") == 0)
            requirement = work.Path() + "\\" + requirement.substr(2);
        Outcome dialog =
            Run(Description("[defs]\r\ncomponents=x\r\n[x]\r\nname=X\r\n"
                            "NoDownloadIfFilesExist=" +
                            requirement + "\r\n"));
        ASSERT_EQ(1u, dialog.rows.size());
        EXPECT_EQ(c.installed ? AlreadyInstalled : NeedsDownload, dialog.rows[0].status_value)
            << c.library << " " << requirement;
    }
}

TEST_F(ComponentTable, ProtocolsAndSourceDirectories) {
    static std::string work;
    work = workPath;
    std::string path = Description(
        "[defs]\r\ncomponents=h,u,f,c,d,s\r\n"
        "[h]\r\nname=1\r\nProtocol=http\r\n[u]\r\nname=2\r\nProtocol=HTTP\r\n"
        "[f]\r\nname=3\r\nProtocol=FTP\r\n[c]\r\nname=4\r\nProtocol=Copy\r\nSourceDir=D:\\src\r\n"
        "[d]\r\nname=5\r\nProtocol=cdrom\r\n[s]\r\nname=6\r\n");
    ProbeDialog probe(workPath, path.c_str());
    probe.probe = [](ProbeDialog& d) {
        const ProtocolKind kinds[] = {ProtocolHttp, ProtocolSelfExtract, ProtocolFtp,
                                      ProtocolCopy, ProtocolCdrom,       ProtocolSelfExtract};
        for (int i = 0; i < 6; ++i) EXPECT_EQ(kinds[i], GetProtocol(*d.run.ComponentAt(i))) << i;
        char out[260];
        ASSERT_TRUE(GetSourcePath(*d.run.ComponentAt(0), "a.bin", out, sizeof(out)));
        EXPECT_EQ(work + "\\a.bin", out);
        ASSERT_TRUE(GetSourcePath(*d.run.ComponentAt(3), "a.bin", out, sizeof(out)));
        EXPECT_STREQ("D:\\src\\a.bin", out);
        ASSERT_TRUE(GetSourcePath(*d.run.ComponentAt(4), "a.bin", out, sizeof(out)));
        EXPECT_EQ(ModuleDirectory() + "\\a.bin", out);
        char small[8];
        EXPECT_FALSE(GetSourcePath(*d.run.ComponentAt(0), "a.bin", small, sizeof(small)));
        EXPECT_STREQ("", small);
    };
    EXPECT_EQ(IDOK, probe.DoModal(nullptr));
    EXPECT_EQ(6u, probe.rows.size());
}

// The rows show the run's components and follow their status.
TEST_F(ComponentTable, RowsFollowTheRunsStatusChanges) {
    std::string path = Description(
        "[defs]\r\ncomponents=a,b\r\n[a]\r\nname=A\r\nDisplayOrder=2\r\n"
        "[b]\r\nname=B\r\nsize=12\r\nDisplayOrder=1\r\n");
    ProbeDialog probe(workPath, path.c_str());
    probe.probe = [](ProbeDialog& d) {
        EXPECT_EQ("B", d.Cell(0, 0));
        EXPECT_EQ("12KB", d.Cell(0, 1));
        d.run.SetStatus(1, DownloadError);
        EXPECT_EQ("Download error", d.Cell(1, 2));
        EXPECT_EQ("Need to download.", d.Cell(0, 2));
        d.run.SetStatus(0, InstallDone);
        EXPECT_EQ(InstallDone, d.run.ComponentAt(0)->status);
        EXPECT_EQ("Installation done.", d.Cell(0, 2));
    };
    EXPECT_EQ(IDOK, probe.DoModal(nullptr));
}

TEST_F(ComponentTable, AllowInterventionOnlyTheExactWordFalseClears) {
    struct Case {
        const char* value;
        bool expected;
    };
    const Case cases[] = {{"FALSE", false}, {"false", true}, {"TRUE", true}, {"False", true}};
    for (const Case& c : cases) {
        Outcome dialog =
            Run(Description(std::string("[defs]\r\nallowintervention=") + c.value + "\r\n"));
        EXPECT_EQ(c.expected, dialog.allowIntervention) << c.value;
    }
}

TEST_F(ComponentTable, OverlongSectionNamesAreIgnored) {
    std::string longName(72, 's');
    std::string fits(71, 'f');
    Outcome dialog =
        Run(Description("[defs]\r\ncomponents=" + longName + "," + fits + "\r\n[" + longName +
                        "]\r\nname=Long\r\n[" + fits + "]\r\nname=Fits\r\n"));
    ASSERT_EQ(1u, dialog.rows.size());
    EXPECT_EQ("Fits", dialog.rows[0].name);
}
