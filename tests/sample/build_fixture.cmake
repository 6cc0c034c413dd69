# The sample-directory fixture of a test run: kxview-sample writes OUT/app and its report OUT/report.tsv,
# replacing what an earlier run left there.
#   cmake -DBUILDER=path/to/kxview-sample -DOUT=dir -P build_fixture.cmake
file(REMOVE_RECURSE "${OUT}")
execute_process(COMMAND "${BUILDER}" "${OUT}/app" --report "${OUT}/report.tsv" RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "kxview-sample failed (${result}); no sample directory in ${OUT}")
endif()
