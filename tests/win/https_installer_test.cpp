// The real installer with an https site, unattended under Wine: a signed package from a
// server the prefix trusts installs and runs; one from a server whose certificate is for
// another name is never fetched, installed or run, and the status line says why.
#include "driver/person.h"
#include "fault_support.h"
#include "package_support.h"
#include "signing_support.h"
#include "shell/resource_ids.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class HttpsInstaller : public FaultFixture {
protected:
    void SetUp() override {
        FaultFixture::SetUp();
        ASSERT_NE(0, TestServerPort("https")) << "no TLS test servers";
        program = ReadWholeFile(ModuleDirectory() + "\\record_app.exe");
        ASSERT_NE("<missing>", program);
        ASSERT_TRUE(publisher.Ready()) << "no RSA key from CryptoAPI";
        std::string directory = TestServersDirectory() + "\\www\\pkg\\https-signed";
        PublishPackage(directory, program, faultPartSize);
        SignPackage(directory, program, faultPartSize, publisher);
    }
    std::string Installer(const char* server) {
        std::string site = "https://localhost:" + std::to_string(TestServerPort(server));
        std::string description =
            "[defs]\r\ncomponents=client\r\nallowintervention=FALSE\r\npublisherKey=" +
            publisher.PublicKeyText() +
            "\r\n[client]\r\nname=Corvane Halverd Client\r\nsize=64\r\nsite=" + site +
            "\r\nsourceDir=pkg/https-signed\r\nfiles=Corvane.exe\r\nProtocol=http\r\n"
            "install1=run,Corvane.exe,-signed\r\n";
        return MakeInstaller(scratch.Path(), {{"tarrock.inf", description}});
    }
    bool Ran() const { return FileExists(work + "\\Corvane.exe.txt"); }

    TestPublisher publisher;
    std::string program;
};

}  // namespace

// ctest-labels HttpsInstaller: servers tls
TEST_F(HttpsInstaller, ASignedPackageOverHttpsInstallsAndRuns) {
    EXPECT_EQ(0, RunToTheEnd(Installer("https")));
    EXPECT_TRUE(ReadWholeFile(work + "\\Corvane.exe") == program) << "Corvane.exe differs";
    EXPECT_TRUE(Ran());
}

TEST_F(HttpsInstaller, AServerWithAnotherNamesCertificateIsRefusedAndNothingRuns) {
    InstallerProcess run(Installer("https_wronghost"), "/NoIntervention");
    ASSERT_TRUE(run.Started());
    Person user(run.Id());
    HWND box =
        user.WaitForMessageBox("Corvane Lite Installer", "unable to download", faultPatience);
    ASSERT_NE(nullptr, box) << user.DescribeWindows();
    WindowQuery query;
    query.controlId = IDC_STATUS_TEXT;
    std::string status = Person::ControlText(user.FindTopWindow(query), IDC_STATUS_TEXT);
    EXPECT_NE(std::string::npos, status.find("is for another name")) << status;
    EXPECT_NE(std::string::npos, status.find("localhost")) << status;
    Person::Answer(box, IDOK);
    run.WaitForExit(faultPatience);
    EXPECT_FALSE(FileExists(work + "\\Corvane.exe"));
    EXPECT_FALSE(Ran());
}
