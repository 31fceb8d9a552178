// Arguments of the restart shortcut.
#include "startup/restart_arguments.h"

#include "common/text.h"

void BuildRestartArguments(bool allowIntervention, bool shuttingDown, bool saveProxySettings,
                           char* out, size_t size) {
    if (size == 0) return;
    out[0] = '\0';
    if (allowIntervention) {
        AppendTextN(out, size, " /tray");
        if (shuttingDown) AppendTextN(out, size, " /AskForRestart");
    } else {
        AppendTextN(out, size, " /NoIntervention");
    }
    if (saveProxySettings) AppendTextN(out, size, " /SaveProxySettings");
}
