# Runs one libFuzzer target for a short time on a fresh copy of its seed corpus in the build
# folder, so the inputs it finds never land in the source tree.
#   cmake -DFUZZER=<exe> -DCORPUS=<seed folder> -DWORK=<folder> -DSECONDS=<n> [-DDICT=<file>] -P run_libfuzzer.cmake
foreach(v FUZZER CORPUS WORK SECONDS)
  if(NOT DEFINED ${v})
    message(FATAL_ERROR "run_libfuzzer.cmake needs -D${v}=...")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK}/corpus)
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
file(COPY ${CORPUS}/ DESTINATION ${WORK}/corpus)

set(extra)
if(DEFINED DICT AND NOT DICT STREQUAL "")
  list(APPEND extra -dict=${DICT})
endif()

execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -rss_limit_mb=2048 -timeout=10 -print_final_stats=1
          -artifact_prefix=${WORK}/artifacts/ ${extra} ${WORK}/corpus
  WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${FUZZER} failed (${rc}); the input is in ${WORK}/artifacts")
endif()
