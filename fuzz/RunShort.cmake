# One short fuzzer run for the test command: a fixed number of runs with a
# fixed seed over the committed seeds, new inputs kept in a fresh scratch
# corpus. No single allocation may exceed 64 MiB (a font is at most 65536
# pixels). The loaders' own complaints on stderr are silenced; the fuzzer's
# and the sanitizers' reports are not. Fails when the fuzzer finds a crash,
# a hang or a broken table.
# Variables: FUZZER, SEEDS, SCRATCH, RUNS, MAX_LEN.
file(REMOVE_RECURSE ${SCRATCH})
file(MAKE_DIRECTORY ${SCRATCH}/corpus ${SCRATCH}/artifacts)
execute_process(
  COMMAND ${FUZZER} -runs=${RUNS} -max_len=${MAX_LEN} -seed=1 -timeout=10
          -malloc_limit_mb=64 -close_fd_mask=2
          -artifact_prefix=${SCRATCH}/artifacts/ ${SCRATCH}/corpus ${SEEDS}
  RESULT_VARIABLE rc
  OUTPUT_VARIABLE out
  ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message("${out}")
  message(FATAL_ERROR "${FUZZER} failed (${rc}); the failing input is in ${SCRATCH}/artifacts")
endif()
string(REGEX MATCH "Done [0-9]+ runs in [0-9]+ second\\(s\\)" done "${out}")
message("${done}")
