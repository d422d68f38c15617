# cmake --install BUILD --prefix P: vezovad imports from P/lib/pythonX.Y/dist-packages
# with PYTHONPATH and the programs answer --help from P/bin; the prefix /usr
# (under DESTDIR) puts the package into lib/python3/dist-packages.
# -DBUILD=... -DPYTHON=... -DPY_VERSION=X.Y; the temporary folder is removed.
string(RANDOM LENGTH 10 suffix)
set(tmp "/tmp/vezovad_install_${suffix}")
set(site "${tmp}/prefix/lib/python${PY_VERSION}/dist-packages")
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${tmp}/prefix OUTPUT_QUIET RESULT_VARIABLE rc1)
execute_process(COMMAND ${CMAKE_COMMAND} -E env PYTHONPATH=${site} ${PYTHON} -c "import vezovad; print(vezovad.__file__)"
                WORKING_DIRECTORY /tmp OUTPUT_VARIABLE where RESULT_VARIABLE rc2)
set(ok TRUE)
foreach(program ro_vezovad gx_emulator gx_convert gx_bridge gx_verify)
  execute_process(COMMAND ${tmp}/prefix/bin/${program} --help OUTPUT_QUIET ERROR_QUIET RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    set(ok FALSE)
  endif()
endforeach()
set(ENV{DESTDIR} ${tmp}/dest)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix /usr OUTPUT_QUIET RESULT_VARIABLE rc3)
file(GLOB system "${tmp}/dest/usr/lib/python3/dist-packages/vezovad*.so")
file(REMOVE_RECURSE ${tmp})
string(FIND "${where}" "${site}/" at)
if(NOT rc1 EQUAL 0 OR NOT rc2 EQUAL 0 OR NOT at EQUAL 0 OR NOT ok OR NOT rc3 EQUAL 0 OR NOT system)
  message(FATAL_ERROR "install: ${rc1}, import from ${where} (not ${site}): ${rc2}, programs' --help: ${ok}, "
                      "--prefix /usr: ${rc3} ${system}")
endif()
message(STATUS "installed into ${tmp}/prefix and imported from ${site}")
