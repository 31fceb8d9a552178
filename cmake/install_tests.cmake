# The packages the install actions' Wine tests unpack, zipped with Info-ZIP zip into
# ${CMAKE_BINARY_DIR}/packages at build time:
#   client.pkg      setup.exe (a copy of record_app.exe) and setup.ins
#   failclient.pkg  setup.exe (a copy of fail_app.exe) and setup.ins
#   data.pkg        cvtest_pkg_a.txt ("alpha") and cvtest_pkg_b.txt ("beta")
# Included from CMakeLists.txt for the Wine test build only, after cmake/extension.cmake.
find_program(ZIP_PROGRAM zip REQUIRED)

set(INSTALL_PACKAGES ${CMAKE_BINARY_DIR}/packages)
set(INSTALL_PACKAGE_STAGE ${INSTALL_PACKAGES}/stage)

# The text files are fixed; the set-up programs are copied in when they are built.
file(WRITE ${INSTALL_PACKAGE_STAGE}/client/setup.ins "[setup]\r\ncomponent=client\r\n")
file(WRITE ${INSTALL_PACKAGE_STAGE}/failclient/setup.ins "[setup]\r\ncomponent=failclient\r\n")
file(WRITE ${INSTALL_PACKAGE_STAGE}/data/cvtest_pkg_a.txt "alpha")
file(WRITE ${INSTALL_PACKAGE_STAGE}/data/cvtest_pkg_b.txt "beta")

# zip adds to an existing archive, so each package is made afresh. setupProgram, when
# given, is the target copied in as setup.exe.
function(add_install_package name setupProgram)
  set(stage ${INSTALL_PACKAGE_STAGE}/${name})
  set(package ${INSTALL_PACKAGES}/${name}.pkg)
  file(GLOB stageFiles ${stage}/*.ins ${stage}/*.txt)
  set(copySetup)
  if(setupProgram)
    set(copySetup COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${setupProgram}> setup.exe)
  endif()
  add_custom_command(
    OUTPUT ${package}
    COMMAND ${CMAKE_COMMAND} -E rm -f ${package}
    ${copySetup}
    COMMAND ${ZIP_PROGRAM} -q -X -r ${package} .
    DEPENDS ${setupProgram} ${stageFiles}
    WORKING_DIRECTORY ${stage}
    COMMENT "Making the test package ${name}.pkg"
    VERBATIM)
  set(INSTALL_PACKAGE_FILES ${INSTALL_PACKAGE_FILES} ${package} PARENT_SCOPE)
endfunction()

set(INSTALL_PACKAGE_FILES)
add_install_package(client record_app)
add_install_package(failclient fail_app)
add_install_package(data "")

add_custom_target(install_packages DEPENDS ${INSTALL_PACKAGE_FILES})
add_dependencies(win_tests install_packages)
# The unpacking tests need the extension library beside the tests; without it they skip.
if(TARGET cvgetex)
  add_dependencies(win_tests cvgetex)
endif()
