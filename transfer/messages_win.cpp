// Registration of the transfer messages during static initialisation.
#include "transfer/messages_win.h"

const UINT msgDl1 = RegisterWindowMessageA("dl1");
const UINT msgDl2 = RegisterWindowMessageA("dl2");
const UINT msgDl3 = RegisterWindowMessageA("dl3");
const UINT msgDl4 = RegisterWindowMessageA("dl4");
const UINT msgDl5 = RegisterWindowMessageA("dl5");
const UINT msgDli1 = RegisterWindowMessageA("dli1");
const UINT msgDlftp1 = RegisterWindowMessageA("dlftp1");
const UINT msgDlftp2 = RegisterWindowMessageA("dlftp2");
const UINT msgDlftp3 = RegisterWindowMessageA("dlftp3");
const UINT msgDldone = RegisterWindowMessageA("dldone");
const UINT msgHttpSettingsWanted = RegisterWindowMessageA("dlsettings");
