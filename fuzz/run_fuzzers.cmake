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
# A seed for the register dump parser: one record of each kind of value.
if(NOT EXISTS ${BIN}/corpus_register_dump/seed)
  file(WRITE ${BIN}/corpus_register_dump/seed
       "1234::RS::SN,STR,1,GX0-EMU-0001\nRXVDP,FLOAT,1,1.25\nTHRES,FLOAT,4,80.91,0.4295,54.35,15\n"
       "RXHVC,FLOAT,1,1.9\nSTREAM,UINT8,1,1\nSPADOFSL,UINT8,3,1,2,3\nVCSELOFS,UINT16,2,0x10,7\n"
       "FWVER,STR,1,1.4.2\nFPS,INT32,1,-25\n")
endif()
# Seeds for the calibration table and preset readers: a well-formed file each.
if(NOT EXISTS ${BIN}/corpus_calibration_file/seed)
  set(lines "1,2,558.653,6,133\n")
  foreach(i RANGE 2 12)
    string(APPEND lines "${i},${i},0.4295,,,\n")
  endforeach()
  foreach(i RANGE 13 96)
    string(APPEND lines "${i},${i},,,,\n")
  endforeach()
  foreach(i RANGE 97 200)
    string(APPEND lines ",${i},,,,\n")
  endforeach()
  file(WRITE ${BIN}/corpus_calibration_file/seed "${lines}")
endif()
if(NOT EXISTS ${BIN}/corpus_preset/seed)
  file(WRITE ${BIN}/corpus_preset/seed
       "[Connection-0]\ndevice_ip_address = \"127.0.0.1\"\ndevice_port = 2000\n[Device_settings-0]\n"
       "prf = 490\nfps = 25\ndual_channel = 0\nfir_coef = \"1\", \"2\", \"3\"\n"
       "intensity_fir_coe = \"0.5\", \"1\", \"2\", \"3\", \"4\", \"5\", \"6\", \"7\", \"8\", \"9\", \"10\"\n"
       "calibration_path = \"x.csv\"\n")
endif()
# Everything a run writes (corpus, crash files) stays in the build directory.
foreach(t datagram message register_file recording register_dump calibration_file preset)
  file(MAKE_DIRECTORY ${BIN}/corpus_${t})
  execute_process(COMMAND ${BIN}/fuzz_${t} -seed=1 -max_total_time=${SECONDS} -rss_limit_mb=2048 -timeout=10
                          -print_final_stats=1 -artifact_prefix=${BIN}/ ${BIN}/corpus_${t}
                  WORKING_DIRECTORY ${BIN}
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  string(REGEX MATCH "stat::number_of_executed_units: *[0-9]+" runs "${err}")
  message(STATUS "fuzz_${t}: ${runs}")
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "fuzz_${t} failed:\n${err}")
  endif()
endforeach()
