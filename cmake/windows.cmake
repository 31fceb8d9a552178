# Cross build: the installer image, the Windows publisher tool and the test
# programs, which CTest runs under Wine (scripts/wine-run) inside one Xvfb and
# persistent wineserver session started by the wine.start fixture.
set(SIZE_FLAGS -Os -ffunction-sections -fdata-sections)
set(SIZE_LINK -static -s -Wl,--gc-sections)
set(WIN32_LIBS comctl32 wsock32 shell32 ole32 oleaut32 uuid version advapi32 user32 gdi32 kernel32)
set(RESOURCES ${CMAKE_SOURCE_DIR}/ui/resources.rc)

add_library(product STATIC ${CORE_SOURCES} ${SHELL_SOURCES})
target_include_directories(product PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(product PRIVATE ${WARNINGS} ${PRODUCT_FLAGS} ${SIZE_FLAGS})
target_compile_definitions(product PRIVATE CORVANE_POISON_UNBOUNDED)
target_compile_definitions(product PUBLIC WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_IE=0x0400)
target_link_libraries(product PUBLIC ${WIN32_LIBS})

# The installer image, without payload.
add_executable(cvget WIN32 ${CMAKE_SOURCE_DIR}/startup/winmain_win.cpp ${RESOURCES})
target_link_libraries(cvget PRIVATE product)
target_compile_options(cvget PRIVATE ${WARNINGS} ${PRODUCT_FLAGS} ${SIZE_FLAGS})
target_link_options(cvget PRIVATE ${SIZE_LINK})
target_compile_definitions(cvget PRIVATE CORVANE_POISON_UNBOUNDED)
add_custom_command(TARGET cvget POST_BUILD
  COMMAND sh -c "echo installer image cvget.exe \\(${CMAKE_SYSTEM_PROCESSOR}\\): $(stat -c %s $<TARGET_FILE:cvget>) bytes without payload"
  VERBATIM)

# The publisher tool as a Windows console program.
add_executable(cvpublish ${PUBLISHER_SOURCES})
target_link_libraries(cvpublish PRIVATE product)
target_compile_options(cvpublish PRIVATE ${WARNINGS} ${PRODUCT_FLAGS} ${SIZE_FLAGS})
target_link_options(cvpublish PRIVATE ${SIZE_LINK})
target_compile_definitions(cvpublish PRIVATE CORVANE_POISON_UNBOUNDED)

# The distributable installer: the image with the shipped description appended.
# It is made by the Linux publisher tool of the native build (scripts/make-installer).
set(NATIVE_PUBLISHER ${CMAKE_BINARY_DIR}/../native/cvpublish CACHE FILEPATH "Linux publisher tool")
add_custom_target(installer ALL
  COMMAND ${CMAKE_SOURCE_DIR}/scripts/make-installer ${NATIVE_PUBLISHER} $<TARGET_FILE:cvget> ${CMAKE_SOURCE_DIR}/demo/tarrock.inf ${CMAKE_BINARY_DIR}/cvsetup.exe
  DEPENDS cvget ${CMAKE_SOURCE_DIR}/demo/tarrock.inf
  BYPRODUCTS ${CMAKE_BINARY_DIR}/cvsetup.exe
  VERBATIM)

# The test programs, run by CTest under Wine. They are built where Wine can run
# them: on machines without 32-bit code execution that is the 64-bit build.
option(CORVANE_WINE_TESTS "Build the Wine test programs" OFF)
if(NOT CORVANE_WINE_TESTS)
  return()
endif()

function(add_wine_tests target)
  gtest_add_tests(TARGET ${target} TEST_PREFIX "wine." TEST_LIST added)
  set_tests_properties(${added} PROPERTIES FIXTURES_REQUIRED wine ${ARGN})
endfunction()

add_test(NAME wine.start COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-session start)
add_test(NAME wine.stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-session stop)
set_tests_properties(wine.start PROPERTIES FIXTURES_SETUP wine)
set_tests_properties(wine.stop PROPERTIES FIXTURES_CLEANUP wine)

add_executable(core_tests ${CORE_TEST_SOURCES})
target_link_libraries(core_tests PRIVATE product gtest_main)
target_compile_options(core_tests PRIVATE ${WARNINGS})
target_link_options(core_tests PRIVATE -static)
add_wine_tests(core_tests)

file(GLOB WIN_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/win/*.cpp)
add_executable(win_tests ${WIN_TEST_SOURCES} ${RESOURCES})
target_link_libraries(win_tests PRIVATE product gtest_main)
target_compile_options(win_tests PRIVATE ${WARNINGS})
target_link_options(win_tests PRIVATE -static)
target_compile_definitions(win_tests PRIVATE
  CVGET_EXE="cvget.exe" CVSETUP_EXE="cvsetup.exe")
add_dependencies(win_tests cvget installer cvpublish)
add_wine_tests(win_tests RESOURCE_LOCK installer-instance)

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
