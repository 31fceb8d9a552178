# Cross build: the installer image, the Windows publisher tool and the test
# programs, which CTest runs under Wine (scripts/wine-run) inside one Xvfb and
# persistent wineserver session started by the wine.start fixture.
set(SIZE_FLAGS -Os -ffunction-sections -fdata-sections)
set(SIZE_LINK -static -s -Wl,--gc-sections)
# Nothing in the image unwinds (no exceptions), so the i686 image carries no unwind
# tables. The x86_64 build keeps them: that ABI's stack walks need them.
# Link-time optimisation takes the i686 image from 99,840 to 91,136 bytes: code inlined and
# dropped across files (.text 67,208 -> 60,952), and the zero-filled settings record moved
# from .data to .bss (1,824 bytes). The code is generated at the link then, so the link
# names the code flags again: the build type's -O2 and the default unwind tables (8 KiB)
# would decide there otherwise. -f*-sections are left out of the link: there they would
# keep that record in .data. One partition: no parallel-link warning, 16 bytes smaller.
# Only the i686 build: the x86_64 build links a dozen test programs, each of which would
# then be optimised whole.
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(UNWIND_FLAGS -fno-asynchronous-unwind-tables -fno-unwind-tables)
  list(APPEND SIZE_FLAGS ${UNWIND_FLAGS} -flto)
  list(APPEND SIZE_LINK -Os ${UNWIND_FLAGS} -flto -flto-partition=one)
endif()
include(${CMAKE_CURRENT_LIST_DIR}/delay_imports.cmake)
set(WIN32_LIBS ${DELAY_IMPORT_LIBS} shell32 ole32 oleaut32 uuid advapi32 user32 gdi32 kernel32)
set(RESOURCES ${CMAKE_SOURCE_DIR}/ui/resources.rc)
# windres's inputs are not scanned for the files they name: without this a changed icon or
# manifest would leave the images with the old one.
set_source_files_properties(${RESOURCES} PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/ui/installer.ico;${CMAKE_SOURCE_DIR}/startup/cvget.manifest;${CMAKE_SOURCE_DIR}/shell/resource_ids.h")

add_library(product STATIC ${CORE_SOURCES} ${SHELL_SOURCES})
target_include_directories(product PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(product PRIVATE ${WARNINGS} ${PRODUCT_FLAGS} ${SIZE_FLAGS})
target_compile_definitions(product PRIVATE CORVANE_POISON_UNBOUNDED)
target_compile_definitions(product PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_IE=0x0400)
target_link_libraries(product PUBLIC ${WIN32_LIBS})

# The installer image, without payload. It enters at its own entry point
# (startup/entry_win.cpp) instead of the MinGW start-up code, which with its exception
# handler, thread-local data support and relocation code cost the i686 image 9,728
# bytes. In the i686 image the unwind tables that the runtime's own objects bring (536
# bytes, a section of 1,024 in the file) are discarded too: nothing in the image unwinds.
add_executable(cvget WIN32 ${CMAKE_SOURCE_DIR}/startup/winmain_win.cpp
               ${CMAKE_SOURCE_DIR}/startup/entry_win.cpp ${RESOURCES})
target_link_libraries(cvget PRIVATE product)
target_compile_options(cvget PRIVATE ${WARNINGS} ${PRODUCT_FLAGS} ${SIZE_FLAGS})
target_link_options(cvget PRIVATE ${SIZE_LINK} -nostartfiles)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  target_link_options(cvget PRIVATE -Wl,-e,_CorvaneEntry
                      -Wl,-T,${CMAKE_SOURCE_DIR}/cmake/discard-unwind-tables.ld)
else()
  target_link_options(cvget PRIVATE -Wl,-e,CorvaneEntry)
endif()
target_compile_definitions(cvget PRIVATE CORVANE_POISON_UNBOUNDED)
add_custom_command(TARGET cvget POST_BUILD
  COMMAND sh -c "echo installer image cvget.exe \\(${CMAKE_SYSTEM_PROCESSOR}\\): $(stat -c %s $<TARGET_FILE:cvget>) bytes without payload"
  VERBATIM)

# The publisher tool as a Windows console program; it signs through CryptoAPI (crypt32 is
# the tool's alone: the installer image does not link it).
list(FILTER PUBLISHER_SOURCES EXCLUDE REGEX "_(posix|openssl)\\.cpp$")
add_executable(cvpublish ${PUBLISHER_SOURCES})
target_link_libraries(cvpublish PRIVATE product crypt32 advapi32)
target_compile_options(cvpublish PRIVATE ${WARNINGS} ${PRODUCT_FLAGS} ${SIZE_FLAGS})
target_link_options(cvpublish PRIVATE ${SIZE_LINK})
target_compile_definitions(cvpublish PRIVATE CORVANE_POISON_UNBOUNDED)

# The distributable installer: the image with the shipped description appended.
# It is made by the publisher tool built for this machine (scripts/make-installer), which
# the Makefile passes from its native build; the tests use the same tool.
set(CVPUBLISH_HOST ${CMAKE_SOURCE_DIR}/build/native/cvpublish CACHE FILEPATH
    "The publisher tool that runs on the build machine")
add_custom_target(installer ALL
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/make-installer ${CVPUBLISH_HOST} $<TARGET_FILE:cvget> ${CMAKE_SOURCE_DIR}/demo/tarrock.inf ${CMAKE_BINARY_DIR}/cvsetup.exe
  DEPENDS cvget ${CMAKE_SOURCE_DIR}/demo/tarrock.inf
  BYPRODUCTS ${CMAKE_BINARY_DIR}/cvsetup.exe
  VERBATIM)

# The demo's client program, published by the demo's package server as "Corvane.exe".
add_executable(democlient WIN32 ${CMAKE_SOURCE_DIR}/demo/client/corvane_client.cpp)
set_target_properties(democlient PROPERTIES OUTPUT_NAME Corvane)
target_compile_options(democlient PRIVATE ${WARNINGS} ${SIZE_FLAGS})
target_link_options(democlient PRIVATE ${SIZE_LINK})

# The test programs, run by CTest under Wine. They are built where Wine can run
# them: on machines without 32-bit code execution that is the 64-bit build.
option(CORVANE_WINE_TESTS "Build the Wine test programs" OFF)
if(NOT CORVANE_WINE_TESTS)
  return()
endif()

# One CTest test per test suite: a Wine process takes about a second to start, so the
# suite, not the single case, is the unit that runs (cmake/suites.cmake). A suite that
# needs the test servers says so beside its tests ("// ctest-labels Suite: servers"):
# the label brings the fixture of the same name.
include(${CMAKE_SOURCE_DIR}/cmake/suites.cmake)
set(FIXTURE_LABELS servers signed tls)
function(add_wine_tests target prefix)
  get_target_property(sources ${target} SOURCES)
  add_suite_tests(${target} ${prefix} "${sources}")
  foreach(suite ${SUITES})
    set(fixtures wine)
    foreach(label ${SUITE_LABELS_${suite}})
      if(label IN_LIST FIXTURE_LABELS)
        list(APPEND fixtures ${label})
      endif()
    endforeach()
    set_tests_properties(${prefix}${suite} PROPERTIES FIXTURES_REQUIRED "${fixtures}" ${ARGN})
  endforeach()
endfunction()

add_test(NAME wine.start COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-session start)
add_test(NAME wine.stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-session stop)
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)

add_executable(core_tests ${CORE_TEST_SOURCES})
target_link_libraries(core_tests PRIVATE product gtest_main)
target_compile_options(core_tests PRIVATE ${WARNINGS})
target_link_options(core_tests PRIVATE -static)
add_wine_tests(core_tests wine.core.)

file(GLOB WIN_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*.cpp)
add_executable(win_tests ${WIN_TEST_SOURCES} ${RESOURCES})
target_link_libraries(win_tests PRIVATE product gtest_main)
target_compile_options(win_tests PRIVATE ${WARNINGS})
target_link_options(win_tests PRIVATE -static)
target_compile_definitions(win_tests PRIVATE
  CVGET_EXE="cvget.exe" CVSETUP_EXE="cvsetup.exe"
  SHIPPED_DESCRIPTION="Z:${CMAKE_SOURCE_DIR}/demo/tarrock.inf")
add_dependencies(win_tests cvget installer cvpublish democlient)
add_wine_tests(win_tests wine. RESOURCE_LOCK installer-instance)

# The README's publisher guide, block by block: it starts its own server on a free
# loopback port and runs the installer it built (tests/newcomer/run).
add_test(NAME wine.Newcomer
         COMMAND ${CMAKE_SOURCE_DIR}/tests/newcomer/run ${CMAKE_BINARY_DIR} ${CVPUBLISH_HOST})
set_tests_properties(wine.Newcomer PROPERTIES FIXTURES_REQUIRED wine
                     RESOURCE_LOCK installer-instance TIMEOUT 300)

# The Windows publisher tool's signing (CryptoAPI) against openssl and against the Linux
# tool (libcrypto): keys, public key lines and signatures made by one are taken by the other.
add_test(NAME wine.cvpublish.signing
         COMMAND bash ${CMAKE_SOURCE_DIR}/tests/tools/cvpublish_signing_test.sh
                 wine:$<TARGET_FILE:cvpublish> ${CVPUBLISH_HOST})
set_tests_properties(wine.cvpublish.signing PROPERTIES FIXTURES_REQUIRED wine)

# Libraries with version resources for the installed-component tests:
# file and product versions 4.71.0.0 and 4.70.9999.0.
function(add_version_library name f1 f2 f3 f4)
  add_library(${name} SHARED ${CMAKE_SOURCE_DIR}/tests/win/fixtures/library.cpp
              ${CMAKE_SOURCE_DIR}/tests/win/fixtures/version.rc)
  set_target_properties(${name} PROPERTIES PREFIX "")
  target_compile_definitions(${name} PRIVATE FV1=${f1} FV2=${f2} FV3=${f3} FV4=${f4}
                             PV1=${f1} PV2=${f2} PV3=${f3} PV4=${f4})
  target_link_options(${name} PRIVATE -static)
  add_dependencies(win_tests ${name})
endfunction()
add_version_library(version471 4 71 0 0)
add_version_library(version470 4 70 9999 0)

# A library that leaves a marker when loaded, planted beside the installer under the
# names of the system libraries it uses (tests/win/planted_library_test.cpp).
add_library(planted_library SHARED ${CMAKE_SOURCE_DIR}/tests/win/fixtures/planted_library.cpp)
set_target_properties(planted_library PROPERTIES PREFIX "")
target_link_options(planted_library PRIVATE -static)
add_dependencies(win_tests planted_library)

# Small programs the end-to-end tests drive or start: every tests/win/fixtures/*_app.cpp
# becomes <name>.exe beside the tests, linked with the product and its resources.
file(GLOB FIXTURE_APPS CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/fixtures/*_app.cpp)
foreach(source ${FIXTURE_APPS})
  get_filename_component(name ${source} NAME_WE)
  add_executable(${name} WIN32 ${source} ${RESOURCES})
  target_link_libraries(${name} PRIVATE product)
  target_compile_options(${name} PRIVATE ${WARNINGS})
  target_link_options(${name} PRIVATE -static)
  add_dependencies(win_tests ${name})
endforeach()

# The end-to-end driver: a library of helpers for tests that use another process's
# windows as a person would (tests/win/driver/*.cpp), linked into the Wine tests.
file(GLOB DRIVER_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/driver/*.cpp)
if(DRIVER_SOURCES)
  add_library(driver STATIC ${DRIVER_SOURCES})
  target_include_directories(driver PUBLIC ${CMAKE_SOURCE_DIR}/tests/win ${CMAKE_SOURCE_DIR})
  target_link_libraries(driver PUBLIC ${WIN32_LIBS} gdi32)
  target_compile_options(driver PRIVATE ${WARNINGS})
  target_link_libraries(win_tests PRIVATE driver)
endif()

# The test servers (nginx, tinyproxy, pyftpdlib and the scripted servers on loopback
# addresses, tests/servers): started before and stopped after the suites labelled
# "servers", which find their ports in servers/ports.ini beside the test program.
add_test(NAME servers.start COMMAND ${CMAKE_SOURCE_DIR}/tests/servers/start ${CMAKE_BINARY_DIR}/servers)
add_test(NAME servers.stop COMMAND ${CMAKE_SOURCE_DIR}/tests/servers/stop ${CMAKE_BINARY_DIR}/servers)
set_tests_properties(servers.start PROPERTIES FIXTURES_SETUP servers)
set_tests_properties(servers.stop PROPERTIES FIXTURES_CLEANUP servers)

# This run's test root (tests/servers/make-test-certificates), trusted in the tests' own
# Wine prefix, for the suites labelled "tls".
add_executable(trust_test_root ${CMAKE_SOURCE_DIR}/tests/win/tools/trust_test_root.cpp)
target_link_libraries(trust_test_root PRIVATE crypt32)
target_compile_options(trust_test_root PRIVATE ${WARNINGS})
target_link_options(trust_test_root PRIVATE -static)
add_dependencies(win_tests trust_test_root)
add_test(NAME servers.trust
         COMMAND trust_test_root Z:${CMAKE_BINARY_DIR}/servers/tls/root.der)
set_tests_properties(servers.trust PROPERTIES FIXTURES_SETUP tls FIXTURES_REQUIRED "servers;wine")

# A package signed with openssl as a publisher's script would sign it, for the signed
# package tests: the installer must accept what openssl signs.
add_test(NAME servers.signed
         COMMAND ${CMAKE_SOURCE_DIR}/tests/servers/publish-openssl-signed ${CMAKE_BINARY_DIR}/servers
                 ${CVPUBLISH_HOST} $<TARGET_FILE:record_app>)
set_tests_properties(servers.signed PROPERTIES FIXTURES_SETUP signed FIXTURES_REQUIRED servers)

# The distributable installer (the i686 image of build/win32) carries exactly one
# payload record: the shipped description.
file(SIZE ${CMAKE_SOURCE_DIR}/demo/tarrock.inf shippedDescriptionSize)
add_test(NAME installer.payload
         COMMAND ${CVPUBLISH_HOST} list ${CMAKE_BINARY_DIR}/../win32/cvsetup.exe)
set_tests_properties(installer.payload PROPERTIES
  PASS_REGULAR_EXPRESSION "^${shippedDescriptionSize}\ttarrock\\.inf\n$")

include(${CMAKE_SOURCE_DIR}/cmake/interop.cmake)
include(${CMAKE_SOURCE_DIR}/cmake/bench.cmake)
