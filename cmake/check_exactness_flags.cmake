# Checks that every file in a compile_commands.json is compiled with the
# exactness flags of cmake/flags.cmake and with none that undoes them (a
# later -ffp-contract=fast or -ffast-math on one target or file would).
#
#   cmake -DCOMPILE_COMMANDS=build/compile_commands.json [-DSOM_MSVC=ON] \
#         -P cmake/check_exactness_flags.cmake
cmake_minimum_required(VERSION 3.20)

if(NOT EXISTS "${COMPILE_COMMANDS}")
  message(FATAL_ERROR "no compile commands at '${COMPILE_COMMANDS}'")
endif()
file(READ "${COMPILE_COMMANDS}" json)
string(JSON count LENGTH "${json}")
if(count EQUAL 0)
  message(FATAL_ERROR "${COMPILE_COMMANDS} lists no file")
endif()

if(SOM_MSVC)
  set(required "/fp:precise")
  set(forbidden "[/-]fp:(fast|contract)")
else()
  set(required "-ffp-contract=off" "-fno-fast-math")
  set(forbidden "-ffp-contract=(fast|on)|-ffast-math|-Ofast|-funsafe-math-optimizations|-fassociative-math|-freciprocal-math")
endif()

set(bad "")
math(EXPR last "${count} - 1")
foreach(i RANGE ${last})
  string(JSON file GET "${json}" ${i} file)
  string(JSON command ERROR_VARIABLE no_command GET "${json}" ${i} command)
  if(no_command)
    # The other form: the arguments as a list.
    set(command "")
    string(JSON n LENGTH "${json}" ${i} arguments)
    math(EXPR n "${n} - 1")
    foreach(j RANGE ${n})
      string(JSON argument GET "${json}" ${i} arguments ${j})
      string(APPEND command " ${argument}")
    endforeach()
  endif()
  set(command " ${command} ")
  foreach(flag IN LISTS required)
    string(FIND "${command}" " ${flag} " at)
    if(at EQUAL -1)
      string(APPEND bad "  ${file}: no ${flag}\n")
    endif()
  endforeach()
  if(command MATCHES " (${forbidden}) ")
    string(APPEND bad "  ${file}: ${CMAKE_MATCH_1}\n")
  endif()
endforeach()

if(bad)
  message(FATAL_ERROR "files compiled without the exactness flags:\n${bad}")
endif()
list(JOIN required " " shown)
message(STATUS "${count} compile commands, each with ${shown}")
