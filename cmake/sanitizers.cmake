# Instrumented builds, for every target defined after this file is included.
#
# SOM_SANITIZE: AddressSanitizer and UndefinedBehaviorSanitizer, stopping at
# the first report (GCC or Clang).
# SOM_FUZZ: the libFuzzer harnesses of fuzz/ (Clang only); the code under test
# gets the same sanitizers plus libFuzzer's coverage instrumentation.
option(SOM_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(SOM_FUZZ "Build the libFuzzer harnesses (Clang only)" OFF)

set(SOM_SANITIZER_FLAGS -fsanitize=address,undefined -fno-sanitize-recover=all
    -fno-omit-frame-pointer)

if(SOM_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "SOM_FUZZ needs clang++ (libFuzzer)")
  endif()
  add_compile_options(${SOM_SANITIZER_FLAGS} -fsanitize=fuzzer-no-link -g)
  add_link_options(${SOM_SANITIZER_FLAGS})
elseif(SOM_SANITIZE)
  if(MSVC)
    message(FATAL_ERROR "SOM_SANITIZE is for GCC and Clang")
  endif()
  add_compile_options(${SOM_SANITIZER_FLAGS} -g)
  add_link_options(${SOM_SANITIZER_FLAGS})
endif()
