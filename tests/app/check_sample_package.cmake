# Writes the sample package with the build-time script and has mrpatch check it.
execute_process(COMMAND ${PYTHON} ${SCRIPT} ${OUT} RESULT_VARIABLE written)
if(NOT written EQUAL 0)
  message(FATAL_ERROR "make_sample_package.py failed")
endif()
execute_process(COMMAND ${MRPATCH} inspect ${OUT} RESULT_VARIABLE checked OUTPUT_VARIABLE out
                ERROR_VARIABLE err)
if(NOT checked EQUAL 0)
  message(FATAL_ERROR "mrpatch refuses the sample package:\n${out}${err}")
endif()
if(NOT out MATCHES "MRPatch-sample.txt")
  message(FATAL_ERROR "the sample package does not list its file:\n${out}")
endif()
