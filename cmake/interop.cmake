# The interop suite (tests/interop): the real installer, run unattended under Wine
# against servers and proxies that people actually run (Debian's packages, started and
# stopped by each cell on loopback addresses). One CTest test per cell, interop.<cell>.
add_executable(interop_client WIN32 ${CMAKE_SOURCE_DIR}/tests/interop/client.cpp)
target_compile_options(interop_client PRIVATE ${WARNINGS})
target_link_options(interop_client PRIVATE -static)

set(INTEROP_CELLS
  Nginx Apache Lighttpd PythonHttpServer BusyBoxHttpd TinyproxyNginx SquidBasicAuth ApacheProxy
  RedirectAbsolute RedirectRelative VsftpdPassive VsftpdActive Proftpd
  NginxTls ApacheTls LighttpdTls SquidTlsBasicAuth TinyproxyTls SquidApacheTls SquidLighttpdTls
  SquidNtlm SquidTlsNtlm)
foreach(cell ${INTEROP_CELLS})
  add_test(NAME interop.${cell}
           COMMAND ${CMAKE_SOURCE_DIR}/tests/interop/cell ${cell} ${CMAKE_BINARY_DIR} ${CVPUBLISH_HOST})
  # The installer is a single instance with one work directory record per prefix.
  set_tests_properties(interop.${cell} PROPERTIES FIXTURES_REQUIRED wine
                       RESOURCE_LOCK installer-instance SKIP_RETURN_CODE 77 TIMEOUT 120)
endforeach()
