// The installation driver: the last stage of a download run, started by "dldone".
#pragma once

#include "config/installer_run.h"
#include "install/install_view.h"

// Checks that every component is present, asks through the view, installs the
// downloaded components in install order and ends the run through the view: finished
// (files to be deleted) or with the files kept.
void RunInstallation(InstallerRun& run, InstallView& view);
