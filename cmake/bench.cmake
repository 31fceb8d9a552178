# `make bench`'s reference program: the minimal WinSock reader its loopback row compares
# the installer's fetch against (scripts/bench_reader.cpp), built beside bench_app.exe.
add_executable(bench_reader ${CMAKE_SOURCE_DIR}/scripts/bench_reader.cpp)
target_compile_options(bench_reader PRIVATE ${WARNINGS} -O2)
target_link_options(bench_reader PRIVATE -static)
target_link_libraries(bench_reader PRIVATE wsock32)
