# Compiler flags. Included by the top-level CMakeLists.txt before any target
# is defined.
#
# Bit-exact double arithmetic: every operation rounded on its own, never
# contracted into a fused multiply-add, never reassociated. These flags are
# set for the whole project (add_compile_options), so every file of every
# target gets them, GoogleTest's too when it is built from its sources; no
# target can leave them out. GCC contracts a*b+c at -O2 even with -std=c++20,
# Clang contracts within an expression by default: both need the flag.
if(MSVC)
  # /fp:precise never contracts a*b+c into a fused multiply-add (since
  # Visual Studio 2022 only /fp:contract and /fp:fast do; older versions did
  # only with /arch:AVX2, which this project does not pass).
  add_compile_options(/fp:precise /permissive- /utf-8)
  # The standard fopen and friends are what the program means to use: no
  # warning that asks for the _s variants instead.
  add_compile_definitions(_CRT_SECURE_NO_WARNINGS)
else()
  add_compile_options(-ffp-contract=off -fno-fast-math)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$" OR
     (CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND CMAKE_SIZEOF_VOID_P EQUAL 4))
    # 32-bit x86 would otherwise compute in 80-bit x87 registers.
    add_compile_options(-msse2 -mfpmath=sse)
  endif()
  set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG")
endif()

# Warnings: on for the project's own targets (not for GoogleTest's), and
# errors only with SOM_WERROR, which ./check.sh and so CI turn on. Off by
# default, so that a newer compiler's new warning does not stop a user's build.
option(SOM_WERROR "Treat the project's compiler warnings as errors" OFF)
if(MSVC)
  set(SOM_WARNING_FLAGS /W4)
  if(SOM_WERROR)
    list(APPEND SOM_WARNING_FLAGS /WX)
  endif()
else()
  set(SOM_WARNING_FLAGS -Wall -Wextra -Wpedantic)
  if(SOM_WERROR)
    list(APPEND SOM_WARNING_FLAGS -Werror)
  endif()
endif()

# Applies the project's warning flags to a target (the floating-point flags
# need no call: every target has them).
function(som_target_flags target)
  target_compile_options(${target} PRIVATE ${SOM_WARNING_FLAGS})
endfunction()
