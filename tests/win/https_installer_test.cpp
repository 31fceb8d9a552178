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

// Unattended (the description allows no questions): no message, the exit code and the
// log tell why.
TEST_F(HttpsInstaller, AServerWithAnotherNamesCertificateIsRefusedAndNothingRuns) {
    const std::string log = work + "-wronghost.log";
    DeleteFileA(log.c_str());
    InstallerProcess run(Installer("https_wronghost"), "/NoIntervention \"/Log=" + log + "\"");
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(5, run.WaitForExit(faultPatience));  // the download failed
    std::string text = ReadWholeFile(log);
    for (const char* logged :
         {"TLS refused: the certificate is for another host", "is for another name", "localhost"})
        EXPECT_NE(std::string::npos, text.find(logged)) << logged << "\n" << text;
    DeleteFileA(log.c_str());
    EXPECT_FALSE(FileExists(work + "\\Corvane.exe"));
    EXPECT_FALSE(Ran());
}
