# Installs the pinned packages of package-lock.json into DEST (a folder of the
# build tree) with `npm ci`, once per lock file.
file(SHA256 "${SOURCE}/package-lock.json" lock)
if(EXISTS "${DEST}/installed.sha256")
  file(READ "${DEST}/installed.sha256" installed)
  if(installed STREQUAL lock AND EXISTS "${DEST}/node_modules")
    return()
  endif()
endif()
file(MAKE_DIRECTORY "${DEST}")
file(COPY "${SOURCE}/package.json" "${SOURCE}/package-lock.json" DESTINATION "${DEST}")
execute_process(COMMAND "${NPM}" ci --no-audit --no-fund --loglevel=error
                WORKING_DIRECTORY "${DEST}" RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "npm ci failed (${rc})")
endif()
file(WRITE "${DEST}/installed.sha256" "${lock}")
