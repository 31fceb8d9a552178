# Import libraries that load their DLL on the first call instead of with the image:
# version, wsock32 and comctl32 are not among the libraries every targeted Windows takes
# from its own folder, so an image importing them outright would load a copy planted
# beside it before any of its code runs. shell/system_libraries_win.cpp loads them from
# the system folder by full path when the delay-load helper asks (comctl32 of version 6
# from the side-by-side store, where the image's manifest redirects it).
# Each library is made once, when the build is configured, from the toolchain's own import
# library: its exports ("__imp_" symbols) become the definition file for dlltool -y.
set(DELAY_IMPORT_DLLS version wsock32 comctl32)
set(DELAY_IMPORT_DIR ${CMAKE_BINARY_DIR}/delay-imports)
file(MAKE_DIRECTORY ${DELAY_IMPORT_DIR})
string(REGEX REPLACE "gcc(-posix)?$" "" TOOL_PREFIX ${CMAKE_C_COMPILER})
set(DELAY_IMPORT_LIBS)
foreach(dll ${DELAY_IMPORT_DLLS})
  execute_process(COMMAND ${CMAKE_C_COMPILER} -print-file-name=lib${dll}.a
                  OUTPUT_VARIABLE import_library OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(delay_library ${DELAY_IMPORT_DIR}/lib${dll}_delay.a)
  execute_process(COMMAND ${CMAKE_SOURCE_DIR}/cmake/make-delay-library ${TOOL_PREFIX}
                          ${import_library} ${dll}.dll ${delay_library}
                  RESULT_VARIABLE made)
  if(NOT made EQUAL 0)
    message(FATAL_ERROR "cannot make the delay-load import library of ${dll}.dll")
  endif()
  list(APPEND DELAY_IMPORT_LIBS ${delay_library})
endforeach()
