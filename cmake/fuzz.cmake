# Fuzz build (clang, libFuzzer, AddressSanitizer and UBSan): one program per parser of
# the pure core, made from fuzz/<target>_fuzz.cpp. Configured on its own (build/fuzz,
# -DCORVANE_FUZZ=ON with clang++); it builds nothing else.
#
# Every program is a CTest test native.fuzz.<target>: fuzz/run-target replays the inputs
# in fuzz/regressions/<target>/, then fuzzes a copy of fuzz/corpus/<target>/ for
# CORVANE_FUZZ_SECONDS seconds (10 when unset; "make fuzz" sets FUZZ_SECONDS, default 60).
if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
  message(FATAL_ERROR "The fuzz build needs clang: -DCMAKE_CXX_COMPILER=clang++")
endif()

set(FUZZ_DIR ${CMAKE_SOURCE_DIR}/fuzz)
set(FUZZ_SANITIZE -fsanitize=address,undefined -fno-sanitize-recover=all
                  -fno-omit-frame-pointer)

# The pure core and the zip archive checks, instrumented for coverage.
add_library(fuzz_core STATIC ${CORE_SOURCES} ${CMAKE_SOURCE_DIR}/extension/zip_archive.cpp)
target_include_directories(fuzz_core PUBLIC ${CMAKE_SOURCE_DIR})
target_compile_options(fuzz_core PRIVATE ${WARNINGS} ${PRODUCT_FLAGS} -g
                       -fsanitize=fuzzer-no-link ${FUZZ_SANITIZE})
target_compile_definitions(fuzz_core PUBLIC CORVANE_NATIVE=1 PRIVATE CORVANE_POISON_UNBOUNDED)

file(GLOB FUZZ_SOURCES CONFIGURE_DEPENDS ${FUZZ_DIR}/*_fuzz.cpp)
foreach(source ${FUZZ_SOURCES})
  get_filename_component(program ${source} NAME_WE)
  string(REGEX REPLACE "_fuzz$" "" target ${program})
  add_executable(${program} ${source})
  target_link_libraries(${program} PRIVATE fuzz_core)
  target_compile_options(${program} PRIVATE ${WARNINGS} -g -fsanitize=fuzzer ${FUZZ_SANITIZE})
  target_link_options(${program} PRIVATE -fsanitize=fuzzer ${FUZZ_SANITIZE})
  add_test(NAME native.fuzz.${target}
           COMMAND bash ${FUZZ_DIR}/run-target $<TARGET_FILE:${program}> ${target}
                   ${CMAKE_BINARY_DIR}/work)
endforeach()
