// The image's entry point, in place of the MinGW start-up code. The program needs none
// of what that code sets up: the C runtime DLL initialises itself when it is loaded, the
// program reads no argv, keeps no thread-local data, imports no data from a DLL (an image
// that would need the start-up code's pseudo-relocations does not start) and installs no
// signal handlers. What is left is
// done here: the static constructors, WinMain's arguments, the static destructors once
// WinMain has returned, and the end through exit(), which runs what atexit registered
// and flushes open files.
#include <windows.h>
#include <stdlib.h>

#include "startup/switches.h"

// The names below are the linker's own.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,readability-identifier-naming)
extern "C" {
using StaticFunction = void (*)();
// Laid out by the linker: -1, the functions, then a null.
extern StaticFunction __CTOR_LIST__[];
extern StaticFunction __DTOR_LIST__[];
// Where the linker lays out the relocations of data imported from a DLL, which only the
// MinGW start-up code applies.
extern char __RUNTIME_PSEUDO_RELOC_LIST__[];
extern char __RUNTIME_PSEUDO_RELOC_LIST_END__[];
}
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,readability-identifier-naming)

namespace {

void RunStaticDestructors() {
    for (StaticFunction* function = __DTOR_LIST__ + 1; *function != nullptr; ++function)
        (*function)();
}

// In reverse order of the list, as the compiler's own start-up runs them.
void RunStaticConstructors() {
    size_t count = 0;
    while (__CTOR_LIST__[count + 1] != nullptr) ++count;
    for (size_t i = count; i >= 1; --i) __CTOR_LIST__[i]();
}

// Read through volatile: the compiler may take two declared objects to lie apart.
bool HasPseudoRelocations() {
    const char* volatile begin = __RUNTIME_PSEUDO_RELOC_LIST__;
    const char* volatile end = __RUNTIME_PSEUDO_RELOC_LIST_END__;
    return begin != end;
}

int StartupShowCommand() {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    return (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? startup.wShowWindow : SW_SHOWDEFAULT;
}

}  // namespace

// The system may enter with the stack aligned to 4 bytes only.
extern "C" __attribute__((force_align_arg_pointer)) void CorvaneEntry() {
    if (HasPseudoRelocations()) ExitProcess(255);
    RunStaticConstructors();
    char* arguments = const_cast<char*>(SkipProgramName(GetCommandLineA()));
    const int exitCode =
        WinMain(GetModuleHandleA(nullptr), nullptr, arguments, StartupShowCommand());
    RunStaticDestructors();
    exit(exitCode);
}
