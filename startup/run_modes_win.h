// The two run modes as the entry calls them. Tray mode and the download run are
// stand-ins here until the notification icon and the download dialog exist.
#pragma once

// 1 = Open was chosen (or a second start asked for it), 0 = Quit or no tray window.
int RunTray();

// 1 = the run was suspended (go to tray mode), 0 = the run is over.
int RunDownload(bool showWelcome, bool resuming, const char* infPath, bool saveProxySettings);

// Exit clean-up of tray mode: removes an icon that is still shown.
void CleanUpTrayAtExit();
