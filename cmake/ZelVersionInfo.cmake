# Collects the values of the version report: the options of the three tools
# that build the library (each value is one parenthesised text: the options,
# then the tool's identification after a semicolon), the build host, the
# build moment and the release version. Sets ZEL_ID_* variables in the
# caller's scope.

function(_zel_tool_flags lang out)
  string(TOUPPER "${CMAKE_BUILD_TYPE}" cfg)
  set(flags "${CMAKE_${lang}_FLAGS} ${CMAKE_${lang}_FLAGS_${cfg}}")
  get_directory_property(opts DIRECTORY ${PROJECT_SOURCE_DIR} COMPILE_OPTIONS)
  list(JOIN opts " " opts)
  if(lang STREQUAL "CXX")
    set(std "-std=c++${CMAKE_CXX_STANDARD}")
  else()
    set(std "-std=c${CMAKE_C_STANDARD}")
  endif()
  if(CMAKE_${lang}_COMPILER_ID MATCHES "GNU|Clang")
    set(vis "-fvisibility=hidden -fPIC")
  else()
    set(vis "")
  endif()
  set(flags "${flags} ${std} ${opts} ${vis}")
  string(REGEX REPLACE "[ ]+" " " flags "${flags}")
  string(STRIP "${flags}" flags)
  set(${out} "${flags}" PARENT_SCOPE)
endfunction()

macro(zel_version_info)
  _zel_tool_flags(CXX _cxx_flags)
  _zel_tool_flags(C _c_flags)
  get_filename_component(_cxx_name "${CMAKE_CXX_COMPILER}" NAME)
  get_filename_component(_c_name "${CMAKE_C_COMPILER}" NAME)
  set(ZEL_ID_CXX "(${_cxx_flags}; ${CMAKE_CXX_COMPILER_ID} ${_cxx_name} ${CMAKE_CXX_COMPILER_VERSION})")
  set(ZEL_ID_C "(${_c_flags}; ${CMAKE_C_COMPILER_ID} ${_c_name} ${CMAKE_C_COMPILER_VERSION})")

  # The linker: its own first line of --version where it answers.
  set(_ld_desc "")
  if(CMAKE_LINKER)
    execute_process(COMMAND ${CMAKE_LINKER} --version
      OUTPUT_VARIABLE _ld_out ERROR_QUIET RESULT_VARIABLE _ld_rc)
    if(_ld_rc EQUAL 0)
      string(REGEX MATCH "^[^\n]*" _ld_desc "${_ld_out}")
    endif()
  endif()
  if(_ld_desc STREQUAL "")
    get_filename_component(_ld_desc "${CMAKE_LINKER}" NAME)
  endif()
  string(STRIP "-shared ${CMAKE_SHARED_LINKER_FLAGS}" _ld_flags)
  set(ZEL_ID_LINK "(${_ld_flags}; ${_ld_desc})")

  set(_os "${CMAKE_HOST_SYSTEM_NAME} ${CMAKE_HOST_SYSTEM_VERSION} ${CMAKE_HOST_SYSTEM_PROCESSOR}")
  if(EXISTS /etc/os-release)
    file(STRINGS /etc/os-release _pretty REGEX "^PRETTY_NAME=")
    if(_pretty)
      string(REGEX REPLACE "^PRETTY_NAME=\"?([^\"]*)\"?$" "\\1" _pretty "${_pretty}")
      set(_os "${_pretty}, ${_os}")
    endif()
  endif()
  set(ZEL_ID_OS "${_os}")

  string(TIMESTAMP ZEL_ID_DATE "%Y-%m-%d %H:%M:%S" UTC)
  string(TIMESTAMP ZEL_ID_STAMP "%Y%m%d.%H%M" UTC)

  # Build number: the commit count of the checkout when there is one.
  set(_cl "${ZEL_BUILD_NUMBER}")
  find_package(Git QUIET)
  if(GIT_FOUND AND EXISTS "${PROJECT_SOURCE_DIR}/.git")
    execute_process(COMMAND ${GIT_EXECUTABLE} rev-list --count HEAD
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE _count OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET
      RESULT_VARIABLE _git_rc)
    if(_git_rc EQUAL 0 AND _count MATCHES "^[0-9]+$")
      set(_cl "${_count}")
    endif()
  endif()
  math(EXPR _cl "${_cl} % 1000000")
  string(LENGTH "${_cl}" _len)
  while(_len LESS 6)
    set(_cl "0${_cl}")
    string(LENGTH "${_cl}" _len)
  endwhile()
  set(ZEL_ID_RELEASE
      "${ZEL_RELEASE_VERSION}-CL${_cl}")

  # Texts are embedded in C string literals.
  foreach(v ZEL_ID_CXX ZEL_ID_C ZEL_ID_LINK ZEL_ID_OS)
    string(REPLACE "\\" "\\\\" ${v} "${${v}}")
    string(REPLACE "\"" "\\\"" ${v} "${${v}}")
  endforeach()
endmacro()
