# Installs the build into a fresh prefix and imports the installed package
# with nothing of the build tree on the path.
#   -DBUILD=<build dir> -DWORK=<scratch dir> -DPYTHON=<interpreter>
#   -DSITE=<package folder under the prefix> -DRELEASE=<release version>
file(REMOVE_RECURSE ${WORK})
set(prefix ${WORK}/prefix)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD} --prefix ${prefix}
                RESULT_VARIABLE rc OUTPUT_QUIET ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "install failed: ${err}")
endif()
set(ENV{PYTHONPATH} ${prefix}/${SITE})
execute_process(COMMAND ${PYTHON} -c "import zel; print(zel.__version__, zel.__file__)"
                WORKING_DIRECTORY ${WORK}
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err
                OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "import from the install failed: ${err}")
endif()
if(NOT out STREQUAL "${RELEASE} ${prefix}/${SITE}/zel/__init__.py")
  message(FATAL_ERROR "installed package says '${out}', expected version ${RELEASE} from ${prefix}/${SITE}")
endif()
message(STATUS "zel ${out}")
