// Cutting the notification icon's tip to what the shell's field holds.
#include "startup/tray_tip.h"

bool MakeTrayTip(const char* tip, char* out, size_t size, LeadBytePredicate isLeadByte) {
    if (size == 0) return false;
    size_t limit = size - 1 < trayTipLength ? size - 1 : trayTipLength;
    size_t used = 0;
    if (tip != nullptr) {
        while (tip[used] != '\0') {
            size_t step = 1;
            if (isLeadByte != nullptr && isLeadByte(static_cast<unsigned char>(tip[used])))
                step = tip[used + 1] != '\0' ? 2 : 1;
            if (used + step > limit) break;
            for (size_t i = 0; i < step; ++i) out[used + i] = tip[used + i];
            used += step;
        }
    }
    out[used] = '\0';
    return tip == nullptr || tip[used] == '\0';
}
