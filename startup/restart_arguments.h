// The arguments of the Startup shortcut that restarts a suspended download.
#pragma once

#include <stddef.h>

// " /tray" (and " /AskForRestart" when Windows is ending) when the user may
// intervene, " /NoIntervention" otherwise; then " /SaveProxySettings" when asked.
void BuildRestartArguments(bool allowIntervention, bool shuttingDown, bool saveProxySettings,
                           char* out, size_t size);
