# Compares the dynamic symbol table of the shared library with the header:
# every function the header declares is exported under its plain name, and
# nothing is exported besides those functions and the exported classes.
cmake_minimum_required(VERSION 3.25) # script mode: IN_LIST and current policies
find_program(NM nm REQUIRED)
execute_process(COMMAND ${NM} -D --defined-only ${LIB}
  OUTPUT_VARIABLE syms RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIB}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${syms}")
set(exported "")
foreach(l IN LISTS lines)
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] +" "" name "${l}")
  list(APPEND exported "${name}")
endforeach()

file(READ ${HEADER} text)
# Function declarations start a line with ZEL_API (the macro's own
# definitions and the exported classes do not).
string(REGEX MATCHALL "\nZEL_API[^;(]*[ *]([A-Za-z_][A-Za-z0-9_]*)[ ]*\\(" decls "${text}")
set(declared "")
foreach(d IN LISTS decls)
  string(REGEX REPLACE ".*[ *]([A-Za-z_][A-Za-z0-9_]*)[ ]*\\($" "\\1" n "${d}")
  list(APPEND declared "${n}")
endforeach()
list(LENGTH declared count)
if(count LESS 10)
  message(FATAL_ERROR "too few declarations found in the header: ${declared}")
endif()

set(missing "")
foreach(n IN LISTS declared)
  if(NOT n IN_LIST exported)
    list(APPEND missing ${n})
  endif()
endforeach()
if(missing)
  message(FATAL_ERROR "declared but not exported: ${missing}")
endif()

set(extra "")
foreach(n IN LISTS exported)
  if(n IN_LIST declared)
    continue()
  endif()
  # Members, constructors, type info of the exported classes.
  if(n MATCHES "rpc3file_input|rpc3file_output|rpc_channel_timehistory|DacFile|DacStatistics")
    continue()
  endif()
  # Symbols the toolchain adds to every shared object.
  if(n MATCHES "^_init$|^_fini$|^_edata$|^_end$|^__bss_start$|^_ZN?St|^_ZNSt|^_ZNKSt|^_ZSt|^_ZZN?St|^_ZZNKSt|^__gcov|^__asan|^__ubsan|^__sanitizer|^__lsan")
    continue()
  endif()
  list(APPEND extra ${n})
endforeach()
if(extra)
  message(FATAL_ERROR "exported but not declared in the header: ${extra}")
endif()
message(STATUS "${count} public functions exported")
