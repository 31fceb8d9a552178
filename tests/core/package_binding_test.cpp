// Whether a signed manifest's [package] section fits the file a component asks for.
#include "transfer/package_binding.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace {

const uint32_t kToday = 20261210;

struct Case {
    const char* package;  // the manifest's [package] lines; nullptr: no such section
    const char* fileName;
    const char* minVersion;  // nullptr: the component requires none
    PackageBinding expected;
};

const Case kCases[] = {
    // Packages signed before they named themselves serve components that require no version.
    {nullptr, "client.exe", nullptr, PackageBound},
    {nullptr, "client.exe", "3", PackageBelowMinimum},
    {"name=client.exe\nversion=7\nexpires=2026-12-10\n", "client.exe", "7", PackageBound},
    {"name=Client.EXE\n", "bin\\client.exe", nullptr, PackageBound},
    {"name=client.exe\n", "bin/client.exe", nullptr, PackageBound},
    // Another product's package, or one signed for another name.
    {"name=server.exe\nversion=9\n", "client.exe", "1", PackageWrongName},
    {"name=client.exe.old\n", "client.exe", nullptr, PackageWrongName},
    {"name=client\n", "client.exe", nullptr, PackageWrongName},
    // Rollback: older than required, or no version at all.
    {"name=client.exe\nversion=6\n", "client.exe", "7", PackageBelowMinimum},
    {"name=client.exe\n", "client.exe", "0", PackageBelowMinimum},
    {"name=client.exe\nversion=6\n", "client.exe", nullptr, PackageBound},
    // A minimum that is no number is met by no package.
    {"name=client.exe\nversion=99\n", "client.exe", "7x", PackageBelowMinimum},
    {"name=client.exe\nversion=18446744073709551\n", "client.exe", "7", PackageBound},
    // The expiry day itself is still valid.
    {"name=client.exe\nexpires=2026-12-09\n", "client.exe", nullptr, PackageExpired},
    {"name=client.exe\nexpires=2027-01-01\n", "client.exe", nullptr, PackageBound},
    // What cannot be read is refused, whatever else fits.
    {"version=7\n", "client.exe", nullptr, PackageBindingMalformed},
    {"name=\n", "client.exe", nullptr, PackageBindingMalformed},
    {"", "client.exe", nullptr, PackageBindingMalformed},
    {"name=client.exe\nversion=\n", "client.exe", nullptr, PackageBindingMalformed},
    {"name=client.exe\nversion=-1\n", "client.exe", nullptr, PackageBindingMalformed},
    {"name=client.exe\nversion=7a\n", "client.exe", nullptr, PackageBindingMalformed},
    {"name=client.exe\nversion=1234567890123456789\n", "client.exe", nullptr,
     PackageBindingMalformed},
    {"name=client.exe\nexpires=2026-02-30\n", "client.exe", nullptr, PackageBindingMalformed},
    {"name=client.exe\nexpires=2026-2-3\n", "client.exe", nullptr, PackageBindingMalformed},
    {"name=client.exe\nexpires=20261231\n", "client.exe", nullptr, PackageBindingMalformed},
    {"name=server.exe\nexpires=never\n", "client.exe", nullptr, PackageBindingMalformed},
    {"name=client.exe\nexpires=2024-02-29\n", "client.exe", nullptr, PackageExpired},
    {"name=client.exe\nexpires=2023-02-29\n", "client.exe", nullptr, PackageBindingMalformed},
};

}  // namespace

TEST(PackageBinding, RefusesWhatWasSignedForAnotherFileOrTime) {
    for (const Case& c : kCases) {
        std::string text = "[files]\nfile000.bin=4\n";
        if (c.package != nullptr) text += std::string("[package]\n") + c.package;
        text += "[sha256]\ntotal=00\n";
        ManifestList manifest;
        ASSERT_TRUE(manifest.LoadText(text.data(), text.size()));
        PackageRequirement wanted;
        wanted.fileName = c.fileName;
        SetMinimumVersion(c.minVersion != nullptr ? c.minVersion : "", &wanted);
        wanted.today = kToday;
        EXPECT_EQ(c.expected, CheckPackageBinding(manifest, wanted)) << text;
    }
}
