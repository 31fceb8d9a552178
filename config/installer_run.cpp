// The run's component table and its choices (see installer_run.h).
#include "config/installer_run.h"

#include <stdlib.h>

#include "common/text.h"
#include "config/string_table.h"

namespace {

const char fileDelimiters[] = " ,";

}  // namespace

InstallerRun::InstallerRun(char* workDirectory, const char* descriptionPath, bool showWelcome,
                           bool resuming, bool saveProxySettings)
    : workDirectory(workDirectory),
      descriptionPath(descriptionPath),
      showWelcome(showWelcome),
      resuming(resuming),
      saveProxySettings(saveProxySettings) {}

InstallerRun::~InstallerRun() { free(components); }

bool InstallerRun::AddComponent(const Component& component) {
    if (componentCount == static_cast<int>(kMaxComponents)) return false;
    if (components == nullptr) {
        components = static_cast<Component*>(calloc(kMaxComponents, sizeof(Component)));
        if (components == nullptr) return false;
    }
    Component& added = components[componentCount++];
    added = component;
    added.workDirectory = workDirectory;
    added.verifiedFiles = &verifiedFiles;
    return true;
}

Component* InstallerRun::ComponentAt(int index) {
    if (index < 0 || index >= componentCount) return nullptr;
    return &components[index];
}

const Component* InstallerRun::ComponentAt(int index) const {
    if (index < 0 || index >= componentCount) return nullptr;
    return &components[index];
}

// An insertion sort: stable, and the table is small.
void InstallerRun::SortByDisplayOrder() {
    for (int i = 1; i < componentCount; ++i) {
        Component moving = components[i];
        int j = i;
        for (; j > 0 && components[j - 1].displayOrder > moving.displayOrder; --j)
            components[j] = components[j - 1];
        components[j] = moving;
    }
}

void InstallerRun::SetStatus(int index, ComponentStatus status) {
    Component* component = ComponentAt(index);
    if (component == nullptr) return;
    component->status = status;
    if (statusListener != nullptr) statusListener->OnComponentStatus(index);
}

int InstallerRun::NextComponentToDownload() const {
    for (int index = currentIndex + 1; index < componentCount; ++index) {
        if (components[index].status == NeedsDownload) return index;
    }
    return -1;
}

void InstallerRun::BeginComponent(int index, const char* files) {
    currentIndex = index;
    CopyText(fileList, files);
    fileCursor = fileList;
    fileIndex = -1;
}

NextFileResult InstallerRun::NextFile() {
    char* name = NextToken(&fileCursor, fileDelimiters);
    if (name == nullptr) return NextFileResult::ListDone;
    if (!CopyText(currentFile, name)) return NextFileResult::NameTooLong;
    ++fileIndex;
    return NextFileResult::Named;
}

int InstallerRun::NextComponentToInstall() const {
    int chosen = -1;
    int32_t chosenOrder = kNeverInstalledOrder;
    for (int index = 0; index < componentCount; ++index) {
        const Component& component = components[index];
        if (component.status != Downloaded) continue;
        if (component.installOrder < chosenOrder) {
            chosen = index;
            chosenOrder = component.installOrder;
        }
    }
    return chosen;
}
