# cmake --install BUILD --prefix P, then vezovad imports from P's site
# directory with PYTHONPATH, and the programs run from P/bin; with the prefix
# /usr (under DESTDIR) the package goes to Debian's lib/python3/dist-packages.
# Run with -DBUILD=... -DPYTHON=... -DPY_VERSION=X.Y; leaves nothing behind.
set(tmp_base "$ENV{TMPDIR}")
if(NOT tmp_base)
  set(tmp_base /tmp)
endif()
string(RANDOM LENGTH 10 suffix)
set(tmp "${tmp_base}/vezovad_install_${suffix}")
file(MAKE_DIRECTORY "${tmp}")

function(fail what)
  file(REMOVE_RECURSE "${tmp}")
  message(FATAL_ERROR "${what}")
endfunction()

set(prefix "${tmp}/prefix")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix "${prefix}"
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  fail("cmake --install --prefix failed: ${err}")
endif()
set(site "${prefix}/lib/python${PY_VERSION}/dist-packages")
execute_process(COMMAND ${CMAKE_COMMAND} -E env "PYTHONPATH=${site}"
                ${PYTHON} -c "import vezovad; print(vezovad.__file__)"
                WORKING_DIRECTORY "${tmp}" RESULT_VARIABLE rc OUTPUT_VARIABLE where ERROR_VARIABLE err)
string(FIND "${where}" "${site}/" at)
if(NOT rc EQUAL 0 OR NOT at EQUAL 0)
  fail("vezovad did not import from ${site}: ${where}${err}")
endif()
foreach(program ro_vezovad gx_emulator gx_convert gx_bridge)
  execute_process(COMMAND "${prefix}/bin/${program}" --help RESULT_VARIABLE rc OUTPUT_QUIET ERROR_QUIET)
  if(NOT rc EQUAL 0)
    fail("${prefix}/bin/${program} --help: ${rc}")
  endif()
endforeach()

set(ENV{DESTDIR} "${tmp}/dest")
execute_process(COMMAND ${CMAKE_COMMAND} --install "${BUILD}" --prefix /usr
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
file(GLOB system_package "${tmp}/dest/usr/lib/python3/dist-packages/vezovad*.so")
if(NOT rc EQUAL 0 OR NOT system_package)
  fail("--prefix /usr: no package in lib/python3/dist-packages ${err}")
endif()

file(REMOVE_RECURSE "${tmp}")
message(STATUS "installed into ${prefix} and imported from ${site}")
