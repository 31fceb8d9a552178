// The installer's version, as the run's log and the manifest give it.
#pragma once

constexpr char kInstallerVersion[] = "1.0.0";
