# Installs the build into a fresh prefix and builds small consumers against
# the installed tree: with find_package(zel), with pkg-config and, when
# gfortran is there, with the Fortran interface module.
#   -DBUILD=<build dir> -DWORK=<scratch dir> -DEXAMPLES=<examples dir>
#   -DCONSUMER=<consumer project> -DGENERATOR=<cmake generator>
#   -DCC=<c compiler> -DFC=<fortran compiler or empty> -DRELEASE=<release version>
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(prefix ${WORK}/prefix)
run(${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix})

foreach(f include/zel.h include/zel.f90)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()
file(GLOB_RECURSE config ${prefix}/*/zelConfig.cmake)
file(GLOB_RECURSE pc ${prefix}/*/zel.pc)
file(GLOB_RECURSE lib ${prefix}/*/libzel.so)
if(NOT config OR NOT pc OR NOT lib)
  message(FATAL_ERROR "package files missing: config '${config}' pc '${pc}' lib '${lib}'")
endif()
get_filename_component(libdir ${lib} DIRECTORY)
get_filename_component(pcdir ${pc} DIRECTORY)
if(EXISTS ${BUILD}/tools/zel AND NOT EXISTS ${prefix}/bin/zel)
  message(FATAL_ERROR "the zel tool was built but not installed")
endif()

# find_package(zel)
run(${CMAKE_COMMAND} -S ${CONSUMER} -B ${WORK}/consumer -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DZEL_EXAMPLES=${EXAMPLES} -DZEL_RELEASE=${RELEASE})
run(${CMAKE_COMMAND} --build ${WORK}/consumer)
run(${WORK}/consumer/quickstart_c ${WORK})
run(${WORK}/consumer/quickstart_cpp ${WORK}/quickstart.rsp)

# pkg-config
find_program(PKG_CONFIG NAMES pkg-config pkgconf REQUIRED)
set(ENV{PKG_CONFIG_PATH} ${pcdir})
run(${PKG_CONFIG} --modversion zel)
if(NOT last_output STREQUAL "${RELEASE}\n")
  message(FATAL_ERROR "pkg-config version '${last_output}' is not the release version ${RELEASE}")
endif()
run(${PKG_CONFIG} --cflags --libs zel)
separate_arguments(flags UNIX_COMMAND "${last_output}")
run(${CC} ${EXAMPLES}/quickstart.c ${flags} -lm -o ${WORK}/quickstart_pc)
set(ENV{LD_LIBRARY_PATH} ${libdir})
run(${WORK}/quickstart_pc ${WORK})

# Fortran, through the installed interface module.
if(FC)
  file(MAKE_DIRECTORY ${WORK}/fortran)
  run(${FC} -J ${WORK}/fortran ${prefix}/include/zel.f90 ${EXAMPLES}/quickstart.f90
      -L${libdir} -lzel -o ${WORK}/fortran/quickstart_f)
  execute_process(COMMAND ${WORK}/fortran/quickstart_f WORKING_DIRECTORY ${WORK}/fortran
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0 OR NOT EXISTS ${WORK}/fortran/quickstart_f.pch)
    message(FATAL_ERROR "Fortran example failed (${rc}): ${out}${err}")
  endif()
endif()
message(STATUS "installed tree usable from CMake, pkg-config${FC}")
