# The extension library cvgetex.dll: its one export "UnzipPackage" unpacks a zip archive.
# The archive reading (extension/zip_archive.cpp) is pure and is tested natively; the
# library itself is built by the cross builds, with zlib's inflate linked statically,
# and tested under Wine on archives that Info-ZIP zip makes at build time.
set(EXTENSION_DIR ${CMAKE_SOURCE_DIR}/extension)
set(EXTENSION_ARCHIVES ${CMAKE_BINARY_DIR}/archives)

# The test archives and the trees they must unpack to (tests/extension/make-archives).
function(add_extension_archives)
  add_custom_command(
    OUTPUT ${EXTENSION_ARCHIVES}.stamp
    COMMAND ${CMAKE_SOURCE_DIR}/tests/extension/make-archives ${EXTENSION_ARCHIVES}
    COMMAND ${CMAKE_COMMAND} -E touch ${EXTENSION_ARCHIVES}.stamp
    DEPENDS ${CMAKE_SOURCE_DIR}/tests/extension/make-archives
    COMMENT "Making the extension library's test archives"
    VERBATIM)
  add_custom_target(extension_archives DEPENDS ${EXTENSION_ARCHIVES}.stamp)
endfunction()

if(CMAKE_CROSSCOMPILING)
  # Debian's MinGW zlib; the toolchain's find root makes this /usr/<triplet>/lib/libz.a.
  find_library(MINGW_ZLIB NAMES libz.a REQUIRED)

  add_library(cvgetex SHARED
    ${EXTENSION_DIR}/unzip_package_win.cpp
    ${EXTENSION_DIR}/zip_archive.cpp
    ${CMAKE_SOURCE_DIR}/common/text.cpp
    ${EXTENSION_DIR}/cvgetex.def)
  set_target_properties(cvgetex PROPERTIES
    PREFIX ""
    OUTPUT_NAME cvgetex
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR})
  target_include_directories(cvgetex PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(cvgetex PRIVATE ${WARNINGS} ${PRODUCT_FLAGS}
                         -Os -ffunction-sections -fdata-sections)
  target_compile_definitions(cvgetex PRIVATE CORVANE_POISON_UNBOUNDED WIN32_LEAN_AND_MEAN NOMINMAX)
  target_link_options(cvgetex PRIVATE -static -s -Wl,--gc-sections)
  target_link_libraries(cvgetex PRIVATE ${MINGW_ZLIB} kernel32)
  add_custom_command(TARGET cvgetex POST_BUILD
    COMMAND sh -c "echo extension library cvgetex.dll \\(${CMAKE_SYSTEM_PROCESSOR}\\): $(stat -c %s $<TARGET_FILE:cvgetex>) bytes"
    VERBATIM)

  if(CORVANE_WINE_TESTS)
    add_extension_archives()
    add_dependencies(win_tests cvgetex extension_archives)
    # The imports of both images (the i686 one of build/win32 and this build's) against
    # the functions every system the installer targets provides.
    add_test(NAME extension.imports
             COMMAND ${CMAKE_SOURCE_DIR}/tests/extension/check-imports
                     ${CMAKE_SOURCE_DIR}/tests/extension/allowed-imports.txt
                     ${CMAKE_BINARY_DIR}/../win32/cvgetex.dll $<TARGET_FILE:cvgetex>)
  endif()
else()
  find_package(ZLIB REQUIRED)

  add_library(zip_archive STATIC ${EXTENSION_DIR}/zip_archive.cpp)
  target_include_directories(zip_archive PUBLIC ${CMAKE_SOURCE_DIR})
  target_compile_options(zip_archive PRIVATE ${WARNINGS} ${PRODUCT_FLAGS} -g ${SANITIZE})
  target_link_options(zip_archive PUBLIC ${SANITIZE})

  add_extension_archives()
  file(GLOB EXTENSION_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/extension/*.cpp)
  add_executable(extension_tests ${EXTENSION_TEST_SOURCES})
  target_link_libraries(extension_tests PRIVATE zip_archive ZLIB::ZLIB gtest_main)
  target_compile_options(extension_tests PRIVATE ${WARNINGS} -g ${SANITIZE})
  target_compile_definitions(extension_tests PRIVATE EXTENSION_ARCHIVES="${EXTENSION_ARCHIVES}")
  add_dependencies(extension_tests extension_archives)
  include(${CMAKE_SOURCE_DIR}/cmake/suites.cmake)
  add_suite_tests(extension_tests native.extension. "${EXTENSION_TEST_SOURCES}")
endif()
