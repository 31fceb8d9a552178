// What the installation driver shows and asks while it runs: the window of the run
// implements it (the driver knows no dialog).
#pragma once

#include "config/installer_run_outcome.h"

class InstallView {
public:
    // Brings the run's window to the front before the installation starts.
    virtual void BringToFront() = 0;
    virtual void ShowStatusLine(const char* text) = 0;
    virtual void ResetProgress() = 0;
    // A network run hides its window for good before it asks to install.
    virtual void HideForInstallation() = 0;
    // Prompt 104 "Ready to Install"; true installs.
    virtual bool AskReadyToInstall() = 0;
    // Once the answer is in, the run can no longer be quit and its window takes input.
    virtual void LockQuit() = 0;
    // Prompt 106 after "Ready to Install" was declined; true deletes the files.
    virtual bool AskDeleteFiles() = 0;
    virtual void ShowError(const char* text, const char* caption) = 0;
    virtual void EndRun(RunEnd end) = 0;

protected:
    ~InstallView() = default;
};
