// Helpers of the fault-injection tests: an installer whose one component comes from a
// test server, the servers' request logs, the parts a run left on disk, and an abrupt
// end of the installer process.
#pragma once

#include <string>
#include <vector>

#include "installer_fixture.h"

const size_t faultPartSize = 4096;
const DWORD faultPatience = 60000;

// One component, Corvane.exe, from site (an address with or without port) at sourceDir.
// Without intervention a finished download is installed at once, without a prompt, and
// the run ends keeping its files (nothing reports success).
std::string FaultDescription(const std::string& site, const std::string& sourceDir,
                             const char* protocol = "http", bool allowIntervention = false);
// "127.0.0.1:<port>" of a test server from ports.ini ("nginx", "scripted").
std::string ServerSite(const char* server);

// Occurrences of needle in the file's bytes [from, to).
int CountInFile(const std::string& path, const std::string& needle, size_t from = 0,
                size_t to = std::string::npos);
size_t FileLength(const std::string& path);

// Ends the process at once, as a crash or a power cut would, and waits until it is gone.
void KillProcess(DWORD processId);

// Every suite runs with the test servers; nginxLog is nginx's access log.
class FaultFixture : public InstallerFixture {
protected:
    void SetUp() override;
    // Publishes size pseudo-random bytes as www/pkg/name in faultPartSize parts; returns them.
    std::string Publish(const std::string& name, size_t size, unsigned seed);
    static size_t PartCount(const std::string& content) {
        return (content.size() + faultPartSize - 1) / faultPartSize;
    }
    // Parts in the work directory holding exactly the bytes published for them.
    std::vector<bool> CompleteParts(const std::string& content) const;
    int CompleteCount(const std::string& content) const;
    // Removes Corvane.exe, the manifest, the parts and the state profile, so that the
    // next run downloads again from the start.
    void ForgetDownload() const;
    // Runs the installer without the welcome prompt until it ends by itself: its exit code,
    // -1 when it did not end in time, -2 when it did not start.
    int RunToTheEnd(const std::string& setup);

    std::string nginxLog;
};
