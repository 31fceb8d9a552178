// One run of the installer: the components the descriptions declare, in display order,
// the component and file being fetched, the site in use, the files verified so far and
// the run's switches. The table, the download controller and the installation driver
// all work on it; the download dialog only shows it. The choices that need no platform
// (the display order, the next download, the next file, the install order) are here.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "common/limits.h"
#include "config/component_rules.h"
#include "config/verified_files.h"
#include "transfer/connection_settings.h"

// More components than any description declares (a description's list holds at most
// 128); a component that finds no room is ignored, as one whose section name does not
// fit is.
constexpr size_t kMaxComponents = 256;

// One accepted component section. Every key other than these is read from the
// description when needed.
struct Component {
    char* workDirectory;                 // the run's, shared
    const VerifiedFiles* verifiedFiles;  // the run's, shared
    char descriptionPath[260];
    char sectionName[kSectionNameSize];
    char name[kComponentNameSize];  // the text of the Component column
    uint32_t sizeKB;
    int32_t displayOrder;
    int32_t installOrder;
    int32_t status;  // ComponentStatus
};

// Told of every status change, so that what shows the run can follow it.
class ComponentStatusListener {
public:
    virtual void OnComponentStatus(int index) = 0;

protected:
    ~ComponentStatusListener() = default;
};

// What taking the next name from the current component's file list gave.
enum class NextFileResult {
    Named,        // currentFile and fileIndex name the next file
    ListDone,     // the component has no file left
    NameTooLong,  // the name does not fit currentFile: fetching it would fetch another
};

class InstallerRun {
public:
    InstallerRun(char* workDirectory, const char* descriptionPath, bool showWelcome, bool resuming,
                 bool saveProxySettings);
    ~InstallerRun();
    InstallerRun(const InstallerRun&) = delete;
    InstallerRun& operator=(const InstallerRun&) = delete;

    // Appends a copy of the component, sharing the run's work directory and verified
    // files; false when the table is full (or memory runs out) and it is ignored.
    bool AddComponent(const Component& component);
    int ComponentCount() const { return componentCount; }
    // nullptr outside 0..count-1.
    Component* ComponentAt(int index);
    const Component* ComponentAt(int index) const;
    // Orders the components by display order; equal orders keep the order they were
    // added in.
    void SortByDisplayOrder();
    // Stores the status and tells the listener; nothing for an index out of range.
    void SetStatus(int index, ComponentStatus status);
    void SetCurrentStatus(ComponentStatus status) { SetStatus(currentIndex, status); }
    void SetStatusListener(ComponentStatusListener* listener) { statusListener = listener; }

    // The first component after the current one that still needs a download, or -1.
    int NextComponentToDownload() const;
    // Makes index the current component and its files the list to walk (cut to fit).
    void BeginComponent(int index, const char* files);
    // Takes the next name of the current component's file list.
    NextFileResult NextFile();
    // The downloaded component to install next: the smallest install order below
    // kNeverInstalledOrder, the first in display order on a tie; -1 when none is left.
    int NextComponentToInstall() const;

    // The run's switches and places.
    char* const workDirectory;
    const char* const descriptionPath;  // named on the command line, or nullptr
    bool networkRun = false;
    bool allowIntervention = true;
    const bool showWelcome;
    const bool resuming;
    const bool saveProxySettings;
    bool installFailed = false;    // a step of the installation failed: the exit code says so
    bool downloadFailed = false;   // not every file arrived: the exit code says so
    bool cancelledByUser = false;  // Quit, or "Ready to Install" declined

    // The download in progress.
    int currentIndex = -1;
    char fileList[kFileListSize] = {};
    char* fileCursor = fileList;
    char currentFile[260] = {};
    int fileIndex = -1;  // of currentFile in fileList
    char sourceDir[kSourceDirSize] = {};
    char site[kSiteSize] = {};
    char proxy[kProxySize] = {};
    char port[kPortSize] = {};
    char connectedSite[kSiteSize] = {};
    // The files found to be the publisher's in this run, checked again before install.
    VerifiedFiles verifiedFiles;
    // The proxy and logins that worked, shared by the run's HTTP workers; the installation
    // records the proxy.
    ConnectionSettings connection = {};

private:
    Component* components = nullptr;
    int componentCount = 0;
    ComponentStatusListener* statusListener = nullptr;
};
