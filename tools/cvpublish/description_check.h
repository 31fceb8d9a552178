// Checks of a description file against what the installer will make of it: components
// it would ignore or cannot download, protocols it would not recognise, references to
// names defined nowhere, install entries and registry sections it would skip or stop at.
// Pure: works on a parsed ProfileText; the package directory is checked by the caller.
#pragma once

#include <string>
#include <vector>

#include "config/component_rules.h"
#include "config/profile_text.h"

enum class Severity { Warning, Error };

struct Finding {
    int line;
    Severity severity;
    std::string text;
};

class Findings {
public:
    void Add(int line, Severity severity, const char* format, ...)
        __attribute__((format(gnu_printf, 4, 5)));
    // Sorted by line, the order of discovery kept among equal lines.
    std::vector<Finding> Sorted() const;
    bool HasErrors() const;
    bool Empty() const { return list.empty(); }

private:
    std::vector<Finding> list;
};

// What the package check needs of a component that is downloaded.
struct NetworkComponent {
    std::string section;
    int line;  // the section's header
    ProtocolKind protocol;
    std::string sourceDir;
    std::vector<std::string> files;
    long sizeKB;
    int sizeLine;  // 0 when the key "size" is missing
    // An http component's publisherKey in force (its own, else [defs]'), when it parses.
    std::string publisherKey;
    // Its minVersion under that key, when it is a whole number; empty when there is none.
    std::string minVersion;
    // An ftp component's sha256 pins, when they pair up with its files.
    std::vector<std::string> pins;
    int pinsLine = 0;
};

// The file of a package or ispackage action: cvgetex.dll unpacks it as a zip archive.
struct UnpackedFile {
    std::string file;
    int line;
};

// What the checks learn beyond their findings.
struct DescriptionFacts {
    std::vector<UnpackedFile> unpacked;  // every package and ispackage action read
    bool extensionMissing = false;       // unpacked files, but no cvgetex.dll to do it
};

// The name of the extension library the installer loads for package actions.
extern const char kExtensionLibraryName[];

// Checks the description; fills network with its ftp and http components. Loads the
// description's string sections into the process's string table (emptied first).
// payload, when known, lists the names of the installer's payload records: package
// actions then need cvgetex.dll among them or among the downloaded files (an error).
DescriptionFacts CheckDescription(const ProfileText& profile, Findings* findings,
                                  std::vector<NetworkComponent>* network,
                                  const std::vector<std::string>* payload = nullptr);
