# Bit-exact double arithmetic: every operation rounded on its own, never
# contracted into a fused multiply-add, never reassociated.
if(MSVC)
  # /fp:precise never contracts a*b+c into a fused multiply-add.
  set(SOM_CXX_FLAGS /W4 /WX /fp:precise /permissive- /utf-8)
  # The standard fopen and friends are what the program means to use: no
  # warning (an error under /WX) that asks for the _s variants instead.
  list(APPEND SOM_CXX_FLAGS /D_CRT_SECURE_NO_WARNINGS)
else()
  set(SOM_CXX_FLAGS -ffp-contract=off -fno-fast-math -Wall -Wextra -Wpedantic -Werror)
  if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(i.86|x86)$" OR
     (CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$" AND CMAKE_SIZEOF_VOID_P EQUAL 4))
    # 32-bit x86 would otherwise compute in 80-bit x87 registers.
    list(APPEND SOM_CXX_FLAGS -msse2 -mfpmath=sse)
  endif()
  set(CMAKE_CXX_FLAGS_RELEASE "-O2 -DNDEBUG")
endif()

# Applies the project's warning and floating-point flags to a target.
function(som_target_flags target)
  target_compile_options(${target} PRIVATE ${SOM_CXX_FLAGS})
endfunction()
