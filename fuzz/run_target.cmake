# Runs one fuzz target for its test: a fresh, empty folder first (where
# libFuzzer keeps the inputs it finds; the seed corpus in the tree is only
# read), then the seed corpus.
#   cmake -DPROGRAM=... -DOPTIONS=... -DNEW_INPUTS=... -DCORPUS=... -P run_target.cmake
file(REMOVE_RECURSE ${NEW_INPUTS})
file(MAKE_DIRECTORY ${NEW_INPUTS})
execute_process(COMMAND ${PROGRAM} ${OPTIONS} ${NEW_INPUTS} ${CORPUS} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} failed (${result})")
endif()
