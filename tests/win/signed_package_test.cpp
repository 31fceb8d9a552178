// Signed packages and pinned files with the real installer, unattended under Wine, against
// nginx: what the publisher signed installs and runs; what an attacker on the way changed
// is refused before it is joined, installed or run, and what was verified stays.
#include "driver/person.h"
#include "fault_support.h"
#include "package_support.h"
#include "signing_support.h"
#include "shell/resource_ids.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

const char notAuthentic[] = "is not the publisher's file";

class SignedPackage : public FaultFixture {
protected:
    static void SetUpTestSuite() {
        publisher.reset(new TestPublisher());
        stranger.reset(new TestPublisher());
    }
    static void TearDownTestSuite() {
        publisher.reset();
        stranger.reset();
    }
    void SetUp() override {
        FaultFixture::SetUp();
        ASSERT_TRUE(publisher->Ready() && stranger->Ready()) << "no RSA key from CryptoAPI";
        program = ReadWholeFile(ModuleDirectory() + "\\record_app.exe");
        ASSERT_NE("<missing>", program);
    }
    std::string PackageDirectory(const std::string& name) const {
        return TestServersDirectory() + "\\www\\pkg\\" + name;
    }
    // The recording program published as www/pkg/name in parts, signed by signer with
    // head (a [package] section) before the manifest.
    void PublishSigned(const std::string& name, const TestPublisher* signer,
                       const std::string& head = "") {
        PublishPackage(PackageDirectory(name), program, faultPartSize);
        if (signer != nullptr)
            SignPackage(PackageDirectory(name), program, faultPartSize, *signer, head);
    }
    // One http component, run after download; keyLine goes into [defs], extra into the
    // component.
    std::string Description(const std::string& name, const std::string& keyLine,
                            const std::string& extra = "") const {
        return "[defs]\r\ncomponents=client\r\nallowintervention=FALSE\r\n" + keyLine +
               "[client]\r\nname=Corvane Halverd Client\r\nsize=64\r\nsite=" + ServerSite("nginx") +
               "\r\nsourceDir=pkg/" + name +
               "\r\nfiles=Corvane.exe\r\nProtocol=http\r\ninstall1=run,Corvane.exe,-signed\r\n" +
               extra;
    }
    std::string KeyLine(const TestPublisher& key) const {
        return "publisherKey=" + key.PublicKeyText() + "\r\n";
    }
    int Requests(const std::string& name, const std::string& file, size_t from) const {
        return CountInFile(nginxLog, "/pkg/" + name + "/" + file + " ", from);
    }
    bool Ran() const { return FileExists(work + "\\Corvane.exe.txt"); }
    // Runs the unattended installer to its end, which must say that the download failed;
    // the run's log, which holds every status line it showed.
    std::string RunUntilRefused(const std::string& setup) {
        const std::string log = scratch.Path() + "\\refused.log";
        DeleteFileA(log.c_str());
        InstallerProcess run(setup, "/NoIntervention \"/Log=" + log + "\"");
        if (!run.Started()) return "<not started>";
        int exitCode = run.WaitForExit(faultPatience);
        std::string text = ReadWholeFile(log);
        DeleteFileA(log.c_str());
        return exitCode == 5 ? text : "<exit code " + std::to_string(exitCode) + "> " + text;
    }

    static std::unique_ptr<TestPublisher> publisher;
    static std::unique_ptr<TestPublisher> stranger;
    std::string program;
};

std::unique_ptr<TestPublisher> SignedPackage::publisher;
std::unique_ptr<TestPublisher> SignedPackage::stranger;

}  // namespace

// ctest-labels SignedPackage: servers signed
TEST_F(SignedPackage, AGenuinePackageInstallsAndRunsAndAFileInPlaceIsNotFetchedAgain) {
    PublishSigned("signed-genuine", publisher.get());
    std::string setup = MakeInstaller(
        scratch.Path(), {{"tarrock.inf", Description("signed-genuine", KeyLine(*publisher))}});
    size_t from = FileLength(nginxLog);
    EXPECT_EQ(0, RunToTheEnd(setup));
    EXPECT_TRUE(ReadWholeFile(work + "\\Corvane.exe") == program) << "Corvane.exe differs";
    EXPECT_TRUE(Ran());
    EXPECT_EQ(1, Requests("signed-genuine", "pkginfo.sig", from));

    // The next start finds the file in place: the signed manifest is fetched again to check
    // it, its parts are not.
    DeleteFileA((work + "\\Corvane.exe.txt").c_str());
    from = FileLength(nginxLog);
    EXPECT_EQ(0, RunToTheEnd(setup));
    EXPECT_EQ(1, Requests("signed-genuine", "pkginfo.sig", from));
    EXPECT_EQ(0, Requests("signed-genuine", PartName(0), from));
    EXPECT_TRUE(Ran());
}

// Signed by openssl with a 3072-bit key (tests/servers/publish-openssl-signed).
TEST_F(SignedPackage, APackageSignedWithOpensslInstalls) {
    std::string key = ReadWholeFile(TestServersDirectory() + "\\openssl-signed.key");
    ASSERT_NE("<missing>", key);
    std::string setup = MakeInstaller(
        scratch.Path(),
        {{"tarrock.inf", Description("openssl-signed", "publisherKey=" + key + "\r\n")}});
    size_t from = FileLength(nginxLog);
    EXPECT_EQ(0, RunToTheEnd(setup));
    EXPECT_TRUE(ReadWholeFile(work + "\\Corvane.exe") == program) << "Corvane.exe differs";
    EXPECT_TRUE(Ran());
    EXPECT_EQ(1, Requests("openssl-signed", "pkginfo.sig", from));
}

TEST_F(SignedPackage, AFileInPlaceThatDiffersFromTheSignedOneIsReplaced) {
    PublishSigned("signed-replaced", publisher.get());
    std::string setup = MakeInstaller(
        scratch.Path(), {{"tarrock.inf", Description("signed-replaced", KeyLine(*publisher))}});
    EXPECT_EQ(0, RunToTheEnd(setup));
    ASSERT_TRUE(ReadWholeFile(work + "\\Corvane.exe") == program);
    // Someone changes the finished file between runs; the verified parts stay.
    WriteWholeFile(work + "\\Corvane.exe", "MZ not the publisher's program");
    DeleteFileA((work + "\\Corvane.exe.txt").c_str());
    EXPECT_EQ(0, RunToTheEnd(setup));
    EXPECT_TRUE(ReadWholeFile(work + "\\Corvane.exe") == program) << "Corvane.exe differs";
    EXPECT_TRUE(Ran());
}

TEST_F(SignedPackage, WhatThePublisherDidNotSignIsRefusedAndNeverRun) {
    // Publishes the program with its third part swapped and a manifest whose [sums] match
    // the swapped part, followed by the publisher's [sha256] of the genuine program.
    // Returns the manifest's text.
    auto publishSwapped = [&](const std::string& name) {
        std::string swapped = program;
        for (size_t i = 2 * faultPartSize; i < 3 * faultPartSize && i < swapped.size(); ++i)
            swapped[i] = static_cast<char>(swapped[i] ^ 0x5A);
        PublishPackage(PackageDirectory(name), swapped, faultPartSize);
        std::string manifest = PackageDirectory(name) + "\\pkginfo.txt";
        std::string text = ReadWholeFile(manifest) + Sha256Section(program, faultPartSize);
        WriteWholeFile(manifest, text);
        return text;
    };
    struct Case {
        const char* name;
        const char* status;  // fragment of the status line left behind
        bool partsChecked;   // the signature held: the parts before the bad one stay
    };
    const Case cases[] = {
        {"signed-collision", notAuthentic, true},
        {"signed-md5-rewritten", notAuthentic, false},
        {"signed-other-key", notAuthentic, false},
        {"signed-no-signature", notAuthentic, false},
        {"signed-edited", notAuthentic, false},
        {"signed-bad-key", "publisher key in the installer is not valid", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ForgetDownload();
        DeleteFileA((work + "\\Corvane.exe.txt").c_str());
        std::string name = c.name;
        std::string keyLine = KeyLine(*publisher);
        std::string signature = PackageDirectory(name) + "\\pkginfo.sig";
        if (name == "signed-collision") {
            // The package's checksums are 32 bits of MD5: a part can be made to match one,
            // as if the publisher had signed a manifest whose checksum a collision meets.
            WriteWholeFile(signature, publisher->Sign(publishSwapped(name)));
        } else if (name == "signed-md5-rewritten") {
            // A part swapped on the way and the manifest's checksums made to match it.
            PublishSigned(name, publisher.get());
            std::string genuine = ReadWholeFile(signature);
            publishSwapped(name);
            WriteWholeFile(signature, genuine);
        } else if (name == "signed-other-key") {
            PublishSigned(name, stranger.get());
        } else if (name == "signed-no-signature") {
            PublishSigned(name, publisher.get());
            DeleteFileA(signature.c_str());
        } else if (name == "signed-edited") {
            PublishSigned(name, publisher.get());
            std::string manifest = PackageDirectory(name) + "\\pkginfo.txt";
            WriteWholeFile(manifest, ReadWholeFile(manifest) + "; edited\r\n");
        } else {
            PublishSigned(name, publisher.get());
            keyLine = "publisherKey=" + publisher->PublicKeyText().substr(8) + "\r\n";
        }
        std::string setup =
            MakeInstaller(scratch.Path(), {{"tarrock.inf", Description(name, keyLine)}});
        size_t from = FileLength(nginxLog);
        std::string status = RunUntilRefused(setup);
        EXPECT_NE(std::string::npos, status.find(c.status)) << status;
        EXPECT_FALSE(FileExists(work + "\\Corvane.exe")) << "joined";
        EXPECT_FALSE(FileExists(work + "\\tmp.tmp")) << "joined";
        EXPECT_FALSE(Ran());
        if (c.partsChecked) {
            EXPECT_EQ(1, Requests(name, PartName(0), from));
            EXPECT_EQ(4, Requests(name, PartName(2), from))
                << "fetched again, a bounded number of times";
            // Requested ahead at most, never taken.
            EXPECT_GE(1, Requests(name, PartName(3), from));
            EXPECT_FALSE(FileExists(work + "\\" + PartName(3)));
            EXPECT_TRUE(ReadWholeFile(work + "\\" + PartName(1)) ==
                        program.substr(faultPartSize, faultPartSize))
                << "a verified part stays for the next run";
            EXPECT_FALSE(FileExists(work + "\\" + PartName(2))) << "the swapped part stays";
        } else {
            EXPECT_EQ(0, Requests(name, PartName(0), from))
                << "a part fetched before the signature held";
        }
    }
}

// A package signed by the same publisher for another file, an older release or an expired
// one is refused before any part is fetched, also when a genuine copy is already in place.
TEST_F(SignedPackage, APackageMadeForAnotherFileOrTimeIsRefusedAndNeverRun) {
    struct Case {
        const char* name;
        const char* head;  // the signed [package] section's lines; nullptr: no section
        const char* minVersion;
        bool inPlace;        // the genuine program is already in place
        const char* status;  // fragment of the status line left behind
    };
    const Case cases[] = {
        {"bound-other-product", "name=Server.exe\r\nversion=9\r\n", "7", false,
         "is not Corvane.exe"},
        {"bound-other-name", "name=Corvane-old.exe\r\n", "", true, "is not Corvane.exe"},
        {"bound-older", "name=Corvane.exe\r\nversion=6\r\n", "7", true,
         "older than this installer requires"},
        {"bound-expired", "name=Corvane.exe\r\nversion=7\r\nexpires=2020-02-29\r\n", "7", true,
         "has expired"},
        {"bound-unversioned", nullptr, "7", false, "older than this installer requires"},
        {"bound-unreadable", "name=Corvane.exe\r\nversion=seven\r\n", "", false,
         "does not say readably what it is"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ForgetDownload();
        DeleteFileA((work + "\\Corvane.exe.txt").c_str());
        PublishSigned(c.name, publisher.get(),
                      c.head != nullptr ? std::string("[package]\r\n") + c.head + "\r\n" : "");
        if (c.inPlace) WriteWholeFile(work + "\\Corvane.exe", program);
        std::string extra =
            c.minVersion[0] != '\0' ? std::string("minVersion=") + c.minVersion + "\r\n" : "";
        std::string setup = MakeInstaller(
            scratch.Path(), {{"tarrock.inf", Description(c.name, KeyLine(*publisher), extra)}});
        size_t from = FileLength(nginxLog);
        std::string status = RunUntilRefused(setup);
        EXPECT_NE(std::string::npos, status.find(c.status)) << status;
        EXPECT_EQ(0, Requests(c.name, PartName(0), from)) << "a part fetched";
        EXPECT_FALSE(FileExists(work + "\\tmp.tmp")) << "joined";
        EXPECT_FALSE(Ran());
    }
}

// What the publisher signed for this file, release and time installs; so does a package
// signed before packages named themselves, where no version is required.
TEST_F(SignedPackage, APackageThatSaysWhatItIsInstallsWhereItFits) {
    PublishSigned("bound-genuine", publisher.get(),
                  "[package]\r\nname=corvane.EXE\r\nversion=7\r\nexpires=2099-12-31\r\n\r\n");
    std::string setup = MakeInstaller(
        scratch.Path(),
        {{"tarrock.inf", Description("bound-genuine", KeyLine(*publisher), "minVersion=7\r\n")}});
    EXPECT_EQ(0, RunToTheEnd(setup));
    EXPECT_TRUE(ReadWholeFile(work + "\\Corvane.exe") == program) << "Corvane.exe differs";
    EXPECT_TRUE(Ran());
}

TEST_F(SignedPackage, WithoutAKeyPackagesInstallAsBefore) {
    PublishSigned("unsigned-plain", nullptr);
    PublishSigned("signed-keyless", publisher.get());
    for (const char* name : {"unsigned-plain", "signed-keyless"}) {
        SCOPED_TRACE(name);
        ForgetDownload();
        DeleteFileA((work + "\\Corvane.exe.txt").c_str());
        std::string setup = MakeInstaller(scratch.Path(), {{"tarrock.inf", Description(name, "")}});
        size_t from = FileLength(nginxLog);
        EXPECT_EQ(0, RunToTheEnd(setup));
        EXPECT_TRUE(ReadWholeFile(work + "\\Corvane.exe") == program);
        EXPECT_TRUE(Ran());
        EXPECT_EQ(0, Requests(name, "pkginfo.sig", from));
    }
}

namespace {

// Files pinned by their SHA-256 in the description: from the FTP test server and from a
// folder (copy).
class SignedPins : public SignedPackage {
protected:
    void SetUp() override {
        char value[64];
        GetPrivateProfileStringA("servers", "ftp", "", value, sizeof value,
                                 (TestServersDirectory() + "\\ports.ini").c_str());
        ftpSite = value;
        SignedPackage::SetUp();
    }
    std::string PinnedDescription(const std::string& protocolLines, const std::string& pin) {
        return "[defs]\r\ncomponents=client\r\nallowintervention=FALSE\r\n"
               "[client]\r\nname=Corvane Pinned Client\r\nsize=64\r\nfiles=Corvane.exe\r\n" +
               protocolLines + "sha256=" + pin + "\r\ninstall1=run,Corvane.exe,-pinned\r\n";
    }
    std::string FtpLines() const {
        return "site=" + ftpSite + "\r\nuser=anonymous\r\nsourceDir=pub/pinned\r\nProtocol=ftp\r\n";
    }
    std::string ftpSite;
};

}  // namespace

// ctest-labels SignedPins: servers
TEST_F(SignedPins, AnFtpFileInstallsOnlyWhenItMatchesItsPin) {
    if (ftpSite.empty()) GTEST_SKIP() << "no FTP test server (it needs port 21, so root)";
    std::string served = TestServersDirectory() + "\\ftp\\pub\\pinned";
    CreateDirectoryA(served.c_str(), nullptr);
    WriteWholeFile(served + "\\Corvane.exe", program);
    std::string genuine = PinnedDescription(FtpLines(), Sha256Hex(program));
    std::string wrong = PinnedDescription(FtpLines(), Sha256Hex(program + "x"));

    std::string status = RunUntilRefused(MakeInstaller(scratch.Path(), {{"tarrock.inf", wrong}}));
    EXPECT_NE(std::string::npos, status.find(notAuthentic)) << status;
    EXPECT_FALSE(FileExists(work + "\\Corvane.exe"));
    EXPECT_FALSE(FileExists(work + "\\tmp.tmp"));
    EXPECT_FALSE(Ran());

    // A file left in place that differs from its pin is fetched again, not installed.
    WriteWholeFile(work + "\\Corvane.exe", "MZ not the publisher's program");
    EXPECT_EQ(0, RunToTheEnd(MakeInstaller(scratch.Path(), {{"tarrock.inf", genuine}})));
    EXPECT_TRUE(ReadWholeFile(work + "\\Corvane.exe") == program) << "Corvane.exe differs";
    EXPECT_TRUE(Ran());
}

TEST_F(SignedPins, ACopiedFileThatDiffersFromItsPinIsNeverRun) {
    std::string folder = scratch.Path() + "\\source";
    CreateDirectoryA(folder.c_str(), nullptr);
    WriteWholeFile(folder + "\\Corvane.exe", program);
    std::string lines = "Protocol=copy\r\nSourceDir=" + folder + "\r\n";
    for (bool matches : {false, true}) {
        SCOPED_TRACE(matches ? "pin matches" : "pin differs");
        std::string pin = Sha256Hex(matches ? program : program + "x");
        std::string setup =
            MakeInstaller(scratch.Path(), {{"tarrock.inf", PinnedDescription(lines, pin)}});
        InstallerProcess run(setup, "/NoIntervention");
        ASSERT_TRUE(run.Started());
        // The program runs as the checked copy in the work directory, where it leaves its
        // record, gone with that directory; never from the folder it was copied from.
        EXPECT_EQ(matches ? 0 : 4, run.WaitForExit(faultPatience));
        EXPECT_FALSE(FileExists(folder + "\\Corvane.exe.txt"));
    }
}
