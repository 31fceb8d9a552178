# The i686 build's own tests: its images run for real in an emulated x86 machine
# (scripts/vm), since this kind of machine cannot execute 32-bit x86 code. One boot
# (CTest i686.boot, tests/i686/boot) runs every case on 32-bit Wine and leaves a result
# per case; i686.<case> reports it. i686.imports checks what the shipped images import.
# Included from CMakeLists.txt for the i686 cross build without the Wine tests.
set(I686_STATE ${CMAKE_BINARY_DIR}/i686)

# What the emulated machine runs besides the shipped images; built by "make test"
# (target i686_tests), not by every build of the product.
add_executable(core_tests EXCLUDE_FROM_ALL ${CORE_TEST_SOURCES})
target_link_libraries(core_tests PRIVATE product gtest_main)
target_compile_options(core_tests PRIVATE ${WARNINGS})
target_link_options(core_tests PRIVATE -static)

add_executable(i686_client WIN32 EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tests/interop/client.cpp)
target_compile_options(i686_client PRIVATE ${WARNINGS})
target_link_options(i686_client PRIVATE -static)

# The guest's https case trusts the boot's test root in its prefix with this.
add_executable(i686_trust_root EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/tests/win/tools/trust_test_root.cpp)
set_target_properties(i686_trust_root PROPERTIES OUTPUT_NAME trust_test_root)
target_link_libraries(i686_trust_root PRIVATE crypt32)
target_compile_options(i686_trust_root PRIVATE ${WARNINGS})
target_link_options(i686_trust_root PRIVATE -static)

add_custom_target(i686_tests DEPENDS core_tests i686_client i686_trust_root cvget cvgetex installer)

# Most of it is the guest's run: 5-10 minutes of emulated CPU, more while the image is
# first built (scripts/vm/image waits for a build started earlier).
add_test(NAME i686.boot
         COMMAND ${CMAKE_SOURCE_DIR}/tests/i686/boot ${CMAKE_BINARY_DIR} ${CVPUBLISH_HOST} ${I686_STATE})
# Started first: it is by far the longest.
set_tests_properties(i686.boot PROPERTIES FIXTURES_SETUP i686 TIMEOUT 2700 COST 10000)
foreach(case core typical_run suspend_resume ftp signed https)
  add_test(NAME i686.${case} COMMAND ${CMAKE_SOURCE_DIR}/tests/i686/verdict ${I686_STATE} ${case})
  set_tests_properties(i686.${case} PROPERTIES FIXTURES_REQUIRED i686 SKIP_RETURN_CODE 77)
endforeach()

add_test(NAME i686.imports
         COMMAND ${CMAKE_SOURCE_DIR}/tests/extension/check-imports
                 ${CMAKE_SOURCE_DIR}/tests/extension/allowed-imports.txt
                 $<TARGET_FILE:cvget> ${CMAKE_BINARY_DIR}/cvsetup.exe $<TARGET_FILE:cvgetex>)
