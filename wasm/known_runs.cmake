# Writes known_runs.json for the page: picalc-compare's JSON of the records in
# results/, which it checks first, so that the page sets a score against
# every run's time of each known machine with no server, and no second
# reader of records exists.
#
#   cmake -DNODE=node -DCOMPARE=picalc-compare.mjs -DSOURCE=dir -DOUTPUT=file -P known_runs.cmake
file(GLOB runs RELATIVE ${SOURCE} ${SOURCE}/results/*.txt)
list(SORT runs)
execute_process(
  COMMAND ${NODE} ${COMPARE} --json ${runs}
  WORKING_DIRECTORY ${SOURCE}
  OUTPUT_FILE ${OUTPUT}.new
  ERROR_VARIABLE errors
  RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  file(REMOVE ${OUTPUT}.new)
  message(FATAL_ERROR "picalc-compare refused results/ (status ${status}):\n${errors}")
endif()
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
