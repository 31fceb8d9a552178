// Oversized values reaching the real installer from outside: description values far
// beyond their buffers, a site port beyond 65535, a manifest with a line of half a
// megabyte and one beyond the manifest limit, a package larger than the installer
// takes, a work-directory record longer than any path, and very long command lines.
// Each run ends by itself with a defined result and no crash.
#include "driver/person.h"
#include "fault_support.h"
#include "package_support.h"

#include <gtest/gtest.h>

namespace {

class FaultOversize : public FaultFixture {
protected:
    // Publishes content under www/pkg/name with a manifest of the given text before its sections.
    std::string PublishWithManifestPrefix(const std::string& name, const std::string& prefix) {
        std::string content = Publish(name, 3 * faultPartSize + 1, 61);
        std::string manifest = TestServersDirectory() + "\\www\\pkg\\" + name + "\\pkginfo.txt";
        WriteWholeFile(manifest, prefix + ReadWholeFile(manifest));
        return content;
    }
};

const std::string bundled =
    "[defs]\r\ncomponents=bundled\r\n[bundled]\r\nname=Bundled\r\nfiles=data.bin\r\n";

}  // namespace

// ctest-labels FaultOversize: servers
TEST_F(FaultOversize, LongValuesEndInADefinedResult) {
    const std::string longLine = "; " + std::string(500 * 1024, 'm') + "\r\n";
    struct Case {
        const char* what;
        std::string description;
        std::string arguments;
        std::string record;  // the work-directory record before the run; empty: the fixture's
        int exitCode;        // unattended, nobody is asked: the code tells
        bool downloaded;     // Corvane.exe arrives intact
    };
    std::string longSource = "pkg/" + std::string(2000, 's');
    std::string longName =
        "[defs]\r\ncomponents=client\r\nallowintervention=FALSE\r\n"
        "[client]\r\nname=" +
        std::string(5000, 'n') + "\r\nsize=" + std::string(300, '9') +
        "\r\nsite=" + ServerSite("nginx") + "\r\nsourceDir=" + longSource +
        "\r\nfiles=" + std::string(3000, 'f') + "\r\nProtocol=http\r\n";
    std::string wrappedPort = "127.0.0.1:" + std::to_string(TestServerPort("nginx") + 65536);
    std::string content = PublishWithManifestPrefix("oversize-line", longLine);
    PublishWithManifestPrefix("oversize-manifest", longLine + longLine + longLine);
    const Case cases[] = {
        {"description values", longName, "/NoIntervention", "", 5, false},
        {"manifest line of 500 KiB", FaultDescription(ServerSite("nginx"), "pkg/oversize-line"),
         "/NoIntervention", "", 0, true},
        {"manifest beyond 1 MiB", FaultDescription(ServerSite("nginx"), "pkg/oversize-manifest"),
         "/NoIntervention", "", 5, false},
        // Cut to 16 bits, the port once led to the server all the same.
        {"site port beyond 65535", FaultDescription(wrappedPort, "pkg/oversize-line"),
         "/NoIntervention", "", 5, false},
        {"work-directory record", bundled, "", std::string(5000, 'r'), 0, false},
        {"command line", bundled, "/NoIntervention " + std::string(30000, 'c'), "", 0, false},
        {"description path", bundled, "-inf C:\\" + std::string(400, 'd') + "\\x.inf", "", 0,
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetRecordedWorkDirectory(c.record.empty() ? work : c.record);
        std::string setup = MakeInstaller(
            scratch.Path(), {{"tarrock.inf", c.description}, {"data.bin", "bundled bytes"}});
        InstallerProcess run(setup, c.arguments);
        ASSERT_TRUE(run.Started());
        EXPECT_EQ(c.exitCode, run.WaitForExit(faultPatience));
        EXPECT_EQ(c.downloaded, ReadWholeFile(work + "\\Corvane.exe") == content);
        // A record that names no possible path is replaced by a directory of its own,
        // which the finished local run deletes with its record.
        if (!c.record.empty()) {
            EXPECT_EQ("", ReadRecordedWorkDirectory());
        }
        ForgetDownload();
    }
}

// A manifest whose sizes add up to 2 GiB + 1 bytes, its first parts real: the package is
// refused before any part is fetched (its total once wrapped to a negative size and the
// real parts were fetched regardless).
TEST_F(FaultOversize, APackageBeyondTheLargestIsRefusedWhole) {
    const size_t partSize = 65536;
    std::string directory = TestServersDirectory() + "\\www\\pkg\\oversize-total";
    PublishPackage(directory, PseudoRandomBytes(3 * partSize + 1, 29), partSize);
    std::string manifest = ReadWholeFile(directory + "\\pkginfo.txt");
    std::string more;
    for (size_t n = 4; n <= 32768; ++n) more += PartName(n) + "=65536\r\n";
    size_t sums = manifest.find("[sums]");
    ASSERT_NE(std::string::npos, sums);
    WriteWholeFile(directory + "\\pkginfo.txt", manifest.insert(sums, more));

    std::string setup = MakeInstaller(
        scratch.Path(),
        {{"tarrock.inf", FaultDescription(ServerSite("nginx"), "pkg/oversize-total")}});
    size_t logStart = FileLength(nginxLog);
    InstallerProcess run(setup, "/NoIntervention");
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(5, run.WaitForExit(faultPatience));  // unattended: nobody is asked
    EXPECT_LT(0, CountInFile(nginxLog, "oversize-total/pkginfo.txt", logStart));
    EXPECT_EQ(0, CountInFile(nginxLog, "oversize-total/file", logStart));
    EXPECT_FALSE(FileExists(work + "\\file000.bin"));
    ForgetDownload();
}
