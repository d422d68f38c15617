# Builds the fuzz targets with clang (fuzz/standalone) and runs each one
# briefly with a fixed seed. Any crash, sanitizer report or time-out fails.
# Arguments: -DSRC=<fuzz dir> -DBIN=<build dir> -DCLANGXX=<clang++> -DSECONDS=<per target>
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
foreach(t datagram message register_file recording)
  file(MAKE_DIRECTORY ${BIN}/corpus_${t})
  execute_process(COMMAND ${BIN}/fuzz_${t} -seed=1 -max_total_time=${SECONDS} -rss_limit_mb=2048 -timeout=10
                          -print_final_stats=1 ${BIN}/corpus_${t}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REGEX MATCH "stat::number_of_executed_units: *[0-9]+" runs "${err}")
  message(STATUS "fuzz_${t}: ${runs}")
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "fuzz_${t} failed:\n${err}")
  endif()
endforeach()
