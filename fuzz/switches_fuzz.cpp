// Command-line switches and the run-mode loop. The input is the command line up to its
// first NUL; the bytes after it script what the tray, the download runs and the restart
// prompt answer, one byte per answer, until they run out and every mode ends.
#include "fuzz/fuzz_support.h"
#include "common/run_log.h"
#include "config/installer_run_outcome.h"
#include "startup/switches.h"

namespace {

class ScriptedActions : public RunModeActions {
public:
    ScriptedActions(const uint8_t* script, size_t length) : script(script), length(length) {}

    void SetDownloadRunActive(bool) override {}
    int RunTray() override { return Next() % 3; }  // quit, open, or no tray at all
    int RunDownload(bool showWelcome, bool resuming, const char*, bool) override {
        // The welcome prompt belongs to a fresh run only.
        FUZZ_CHECK(!(showWelcome && resuming));
        return Next() % 2;
    }
    int AskToResume() override {
        static const int kAnswers[] = {AnswerYes, AnswerNo, AnswerCancel, 0};
        return length > 0 ? kAnswers[Next() % 4] : AnswerCancel;
    }
    void FindWorkDirectory() override { found = true; }
    void DeleteWorkDirectory() override {
        FUZZ_CHECK(found);
        FUZZ_CHECK(exitCode != kExitSuspended);  // the files wait for the next log-on
    }
    void DeleteStartupShortcut() override { FUZZ_CHECK(exitCode != kExitSuspended); }
    void SetExitCode(int code) override {
        FUZZ_CHECK(code == kExitCancelled || code == kExitSuspended);
        exitCode = code;
    }

private:
    // 0 once the script is over: tray mode quits and a download run ends.
    uint8_t Next() {
        if (length == 0) return 0;
        --length;
        return *script++;
    }

    const uint8_t* script;
    size_t length;
    bool found = false;
    int exitCode = kExitInstalled;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputParts parts = SplitInput(data, size, '\0');
    FuzzText commandLine(parts.head, parts.headLength);
    const char* const begin = commandLine.get();

    Switches switches = ParseSwitches(begin);
    if (switches.infPath != nullptr) {
        FUZZ_CHECK(switches.infPath >= begin + 5 && switches.infPath <= begin + strlen(begin));
        FUZZ_CHECK(memcmp(switches.infPath - 5, "-inf ", 5) == 0);
    }
    FUZZ_CHECK(switches.mode == RunMode::Tray || switches.mode == RunMode::Download);
    HasNestedRunSwitch(begin);
    char log[64];
    if (FindLogPath(begin, log, sizeof log)) FUZZ_CHECK(log[0] != '\0' && strlen(log) < sizeof log);

    ScriptedActions actions(parts.rest, parts.restLength);
    RunModeLoop(switches, actions);
    FUZZ_CHECK(switches.mode == RunMode::Exit);
    return 0;
}
