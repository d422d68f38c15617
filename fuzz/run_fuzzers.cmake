# Builds the fuzz targets with clang (fuzz/standalone) and runs each one with a
# fixed seed for SECONDS (or, with RUNS set, for that many inputs). Any crash,
# leak, sanitizer report or time-out fails. Each target starts from the
# committed seeds in <fuzz dir>/corpus/<target> and keeps the inputs it finds
# in <build dir>/corpus/<target>; crash files go to <build dir>/artifacts.
# Arguments: -DSRC=<fuzz dir> -DBIN=<build dir> -DCLANGXX=<clang++> -DSECONDS=<per target> [-DRUNS=<inputs>]
execute_process(COMMAND ${CMAKE_COMMAND} -S ${SRC}/standalone -B ${BIN} -G Ninja -DCMAKE_BUILD_TYPE=Debug
                        -DCMAKE_CXX_COMPILER=${CLANGXX}
                RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "configuring the fuzz targets failed")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BIN} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "building the fuzz targets failed")
endif()
# The target list, as fuzz/standalone/CMakeLists.txt writes it.
file(READ ${BIN}/fuzz_targets.txt targets)
string(STRIP "${targets}" targets)
if(RUNS)
  set(limit -runs=${RUNS})
else()
  set(limit -max_total_time=${SECONDS})
endif()
set(failed "")
foreach(t ${targets})
  file(MAKE_DIRECTORY ${BIN}/corpus/${t} ${BIN}/artifacts/${t})
  set(seeds "")
  if(IS_DIRECTORY ${SRC}/corpus/${t})
    set(seeds ${SRC}/corpus/${t})
  endif()
  execute_process(COMMAND ${BIN}/fuzz_${t} -seed=1 ${limit} -rss_limit_mb=2048 -timeout=10
                          -print_final_stats=1 -artifact_prefix=${BIN}/artifacts/${t}/ ${BIN}/corpus/${t} ${seeds}
                  WORKING_DIRECTORY ${BIN}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REGEX MATCH "stat::number_of_executed_units: *[0-9]+" runs "${err}")
  string(REGEX REPLACE "[^0-9]*([0-9]+)$" "\\1" runs "${runs}")
  if(rc EQUAL 0)
    message(STATUS "fuzz_${t}: ${runs} inputs run, no finding")
  else()
    string(REGEX MATCH "(ERROR|WARNING|SUMMARY|runtime error|Test unit written)[^\n]*" first "${err}")
    message(STATUS "fuzz_${t}: ${runs} inputs run, FAILED: ${first}")
    file(WRITE ${BIN}/artifacts/${t}/log.txt "${err}")
    list(APPEND failed ${t})
  endif()
endforeach()
if(failed)
  message(FATAL_ERROR "fuzz targets with findings: ${failed} (logs and inputs in ${BIN}/artifacts)")
endif()
