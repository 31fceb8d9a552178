// Registration of the transfer messages during static initialisation.
#include "transfer/messages_win.h"

const UINT msgConnected = RegisterWindowMessageA("dl1");
const UINT msgFileStarted = RegisterWindowMessageA("dl2");
const UINT msgProgress = RegisterWindowMessageA("dl3");
const UINT msgFileDone = RegisterWindowMessageA("dl4");
const UINT msgWaitingForNetwork = RegisterWindowMessageA("dl5");
const UINT msgHostLookupDone = RegisterWindowMessageA("dli1");
const UINT msgFtpControlEvent = RegisterWindowMessageA("dlftp1");
const UINT msgFtpListenEvent = RegisterWindowMessageA("dlftp2");
const UINT msgFtpDataEvent = RegisterWindowMessageA("dlftp3");
const UINT msgRunOver = RegisterWindowMessageA("dldone");
const UINT msgHttpSettingsWanted = RegisterWindowMessageA("dlsettings");
