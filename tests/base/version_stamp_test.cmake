# The version stamp is written by the build: building its target with SOURCE_DATE_EPOCH set
# stamps that time, and building it again without stamps the present again.
# Arguments: BUILD (the build folder), STAMP (the stamp header).
function(build_stamp)
  execute_process(COMMAND ${ARGN} ${CMAKE_COMMAND} --build ${BUILD} --target orvex_version_stamp
                  RESULT_VARIABLE failed OUTPUT_QUIET)
  if(failed)
    message(FATAL_ERROR "building the version stamp failed")
  endif()
endfunction()

build_stamp(${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=86400 TZ=UTC)
file(READ ${STAMP} fixed)
build_stamp(${CMAKE_COMMAND} -E env --unset=SOURCE_DATE_EPOCH)
file(READ ${STAMP} now)
if(NOT fixed MATCHES "\"T700102-0000\"" OR now MATCHES "\"T700102-0000\"")
  message(FATAL_ERROR "the stamp does not follow the build:\n${fixed}\n${now}")
endif()
