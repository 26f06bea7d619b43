# Writes the version stamp header at build time (cmake -P, run by the build on every build):
# who built it, when (SOURCE_DATE_EPOCH in the build's environment fixes the time) and for what
# target. Arguments: IN (the template), OUT (the header), ARCH (the target processor).
# configure_file leaves an unchanged header untouched, so a build in the same minute recompiles
# nothing.

# One reading of the clock for both texts, so they never straddle a minute.
string(TIMESTAMP ORVEX_BUILD_STAMP "%Y-%m-%d %H:%M;T%y%m%d-%H%M")
list(GET ORVEX_BUILD_STAMP 0 ORVEX_BUILD_TIME)
list(GET ORVEX_BUILD_STAMP 1 ORVEX_BUILD_TAG)
if(DEFINED ENV{USER} AND NOT "$ENV{USER}" STREQUAL "")
  set(ORVEX_BUILD_USER "$ENV{USER}")
else()
  execute_process(COMMAND id -un OUTPUT_VARIABLE ORVEX_BUILD_USER OUTPUT_STRIP_TRAILING_WHITESPACE)
endif()
set(ORVEX_BUILD_ARCH "${ARCH}")
configure_file(${IN} ${OUT} @ONLY)
