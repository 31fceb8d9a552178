# Native build: the pure core under AddressSanitizer and UBSan, and the Linux
# publisher tool.
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)  # read by scripts/static-checks
set(SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)

add_library(core STATIC ${CORE_SOURCES})
target_include_directories(core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(core PRIVATE ${WARNINGS} ${PRODUCT_FLAGS} -g ${SANITIZE})
target_compile_definitions(core PUBLIC CORVANE_NATIVE=1 PRIVATE CORVANE_POISON_UNBOUNDED)
target_link_options(core PUBLIC ${SANITIZE})

add_executable(core_tests ${CORE_TEST_SOURCES})
target_link_libraries(core_tests PRIVATE core gtest_main)
target_compile_options(core_tests PRIVATE ${WARNINGS} -g ${SANITIZE})
# One process per suite (cmake/suites.cmake): native.<Suite>.
include(${CMAKE_SOURCE_DIR}/cmake/suites.cmake)
add_suite_tests(core_tests native. "${CORE_TEST_SOURCES}")

# The tool's platform files: POSIX and OpenSSL's libcrypto here, Win32 and CryptoAPI
# (*_win.cpp) in the cross build.
find_package(OpenSSL REQUIRED COMPONENTS Crypto)
list(FILTER PUBLISHER_SOURCES EXCLUDE REGEX "_win\\.cpp$")
list(FILTER PUBLISHER_CORE_SOURCES EXCLUDE REGEX "_win\\.cpp$")
add_executable(cvpublish ${PUBLISHER_SOURCES})
target_link_libraries(cvpublish PRIVATE core OpenSSL::Crypto)
target_compile_options(cvpublish PRIVATE ${WARNINGS} ${PRODUCT_FLAGS} -g ${SANITIZE})
target_compile_definitions(cvpublish PRIVATE CORVANE_POISON_UNBOUNDED)

# The publisher tool, driven from outside as a publisher uses it.
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/tools/cvpublish_test.sh)
  add_test(NAME native.cvpublish.tool
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/tools/cvpublish_test.sh $<TARGET_FILE:cvpublish>)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/tests/tools/cvpublish_package_test.sh)
  add_test(NAME native.cvpublish.package
           COMMAND bash ${CMAKE_SOURCE_DIR}/tests/tools/cvpublish_package_test.sh $<TARGET_FILE:cvpublish>)
endif()
# Keys, signed packages and their refusals, against openssl.
add_test(NAME native.cvpublish.signing
         COMMAND bash ${CMAKE_SOURCE_DIR}/tests/tools/cvpublish_signing_test.sh $<TARGET_FILE:cvpublish>)

# The publisher tool's description checker, table-driven, and the shipped description,
# which must check clean.
file(GLOB PUBLISHER_TEST_SOURCES CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/tests/tools/*_test.cpp)
if(PUBLISHER_TEST_SOURCES)
  add_executable(publisher_tests ${PUBLISHER_TEST_SOURCES} ${PUBLISHER_CORE_SOURCES})
  target_link_libraries(publisher_tests PRIVATE core OpenSSL::Crypto gtest_main)
  target_compile_options(publisher_tests PRIVATE ${WARNINGS} -g ${SANITIZE})
  add_suite_tests(publisher_tests native.publisher. "${PUBLISHER_TEST_SOURCES}")
endif()
add_test(NAME native.cvpublish.check_demo
         COMMAND cvpublish check ${CMAKE_SOURCE_DIR}/demo/tarrock.inf)

# clang-tidy and cppcheck on the product sources (.clang-tidy, scripts/static-checks).
add_test(NAME native.static COMMAND ${CMAKE_SOURCE_DIR}/scripts/static-checks ${CMAKE_BINARY_DIR})
# About a minute on two idle cores; more when the other tests run beside it.
set_tests_properties(native.static PROPERTIES TIMEOUT 600)
# The layer checker on its own made-up trees, so that a fault of its scanner shows.
add_test(NAME native.static.layers_self_test
         COMMAND python3 ${CMAKE_SOURCE_DIR}/scripts/check-layers --self-test)
