# Runs a gfortran interoperability check in a fresh directory under
# WORK_ROOT and removes the directory afterwards.
#   MODE=interop  PROGRAM=<exe>: the program checks itself.
#   MODE=framing  GFORTRAN=<exe> GFORTRAN_SPLIT=<exe> OURS=<exe> LIMIT=<n>:
#     the same records written by gfortran and by the library's runtime,
#     with the default subrecord limit and with LIMIT bytes, must match.
string(RANDOM LENGTH 12 tag)
set(dir "${WORK_ROOT}/fortran_${MODE}_${tag}")
file(MAKE_DIRECTORY "${dir}")

function(run)
  execute_process(COMMAND ${ARGN} WORKING_DIRECTORY "${dir}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    file(REMOVE_RECURSE "${dir}")
    message(FATAL_ERROR "${ARGN} failed (${rc}):\n${out}\n${err}")
  endif()
  message(STATUS "${out}")
endfunction()

function(same a b)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files "${dir}/${a}" "${dir}/${b}"
    RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    file(READ "${dir}/${a}" ha HEX)
    file(READ "${dir}/${b}" hb HEX)
    file(REMOVE_RECURSE "${dir}")
    message(FATAL_ERROR "${a} and ${b} differ:\n${ha}\n${hb}")
  endif()
endfunction()

if(MODE STREQUAL "interop")
  run("${PROGRAM}")
elseif(MODE STREQUAL "framing")
  run("${GFORTRAN}" gfortran.bin)
  run("${OURS}" ours.bin)
  same(gfortran.bin ours.bin)
  run("${GFORTRAN_SPLIT}" gfortran_split.bin)
  run("${OURS}" ours_split.bin ${LIMIT})
  same(gfortran_split.bin ours_split.bin)
else()
  message(FATAL_ERROR "unknown MODE ${MODE}")
endif()
file(REMOVE_RECURSE "${dir}")
