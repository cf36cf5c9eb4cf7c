# Fetches the chart library that vornix7-report writes into its pages:
# `npm pack` of one pinned version, checked against its pinned SHA-512
# before anything is unpacked, then the script, the style sheet and the
# licence put into OUT_DIR. Run with cmake -P; any failure stops the build.
#   -DPACKAGE=uplot -DVERSION=1.6.32 -DSHA512=<hex> -DNPM=<npm> -DWORK_DIR=<dir> -DOUT_DIR=<dir>
foreach(var PACKAGE VERSION SHA512 NPM WORK_DIR OUT_DIR)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "fetch_chart_library: ${var} is not set")
  endif()
endforeach()

set(tarball "${WORK_DIR}/${PACKAGE}-${VERSION}.tgz")
file(MAKE_DIRECTORY "${WORK_DIR}")
if(EXISTS "${tarball}")
  file(SHA512 "${tarball}" have)
  if(NOT have STREQUAL SHA512)
    file(REMOVE "${tarball}")
  endif()
endif()
if(NOT EXISTS "${tarball}")
  execute_process(
    COMMAND "${NPM}" pack "${PACKAGE}@${VERSION}" --pack-destination "${WORK_DIR}"
    WORKING_DIRECTORY "${WORK_DIR}"
    RESULT_VARIABLE result
    OUTPUT_VARIABLE output
    ERROR_VARIABLE output
    TIMEOUT 300)
  if(NOT result EQUAL 0 OR NOT EXISTS "${tarball}")
    message(FATAL_ERROR "Fetching the chart library ${PACKAGE}@${VERSION} with `${NPM} pack` failed "
                        "(${result}):\n${output}\nConfigure with -DVORNIX7_REPORT_CHARTS=OFF to build "
                        "vornix7-report without charts.")
  endif()
endif()
file(SHA512 "${tarball}" have)
if(NOT have STREQUAL SHA512)
  file(REMOVE "${tarball}")
  message(FATAL_ERROR "The chart library ${PACKAGE}@${VERSION} does not match its pinned SHA-512:\n"
                      "  pinned ${SHA512}\n  got    ${have}\nThe tarball was removed; nothing was unpacked.")
endif()

set(unpacked "${WORK_DIR}/unpacked")
file(REMOVE_RECURSE "${unpacked}")
file(ARCHIVE_EXTRACT INPUT "${tarball}" DESTINATION "${unpacked}"
     PATTERNS package/dist/uPlot.iife.min.js package/dist/uPlot.min.css package/LICENSE)
foreach(pair "dist/uPlot.iife.min.js:uPlot.iife.min.js" "dist/uPlot.min.css:uPlot.min.css" "LICENSE:uPlot.LICENSE")
  string(REPLACE ":" ";" pair "${pair}")
  list(GET pair 0 from)
  list(GET pair 1 to)
  if(NOT EXISTS "${unpacked}/package/${from}")
    message(FATAL_ERROR "The chart library ${PACKAGE}@${VERSION} has no ${from}")
  endif()
  file(COPY_FILE "${unpacked}/package/${from}" "${OUT_DIR}/${to}")
endforeach()
