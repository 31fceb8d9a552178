# Native build: the pure core under AddressSanitizer and UBSan, and the Linux
# publisher tool.
set(SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)

add_library(core STATIC ${CORE_SOURCES})
target_include_directories(core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(core PRIVATE ${WARNINGS} ${PRODUCT_FLAGS} -g ${SANITIZE})
target_compile_definitions(core PUBLIC CORVANE_NATIVE=1 PRIVATE CORVANE_POISON_UNBOUNDED)
target_link_options(core PUBLIC ${SANITIZE})

add_executable(core_tests ${CORE_TEST_SOURCES})
target_link_libraries(core_tests PRIVATE core gtest_main)
target_compile_options(core_tests PRIVATE ${WARNINGS} -g ${SANITIZE})
gtest_add_tests(TARGET core_tests TEST_PREFIX "native.")

add_executable(cvpublish ${PUBLISHER_SOURCES})
target_link_libraries(cvpublish PRIVATE core)
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
