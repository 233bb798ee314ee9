// Compiles the functions that follow for the instruction set named by
// SOM_KERNEL_TARGET (a string such as "avx2,fma"), until target_end.hpp.
// Only the kernel's own functions get it: the standard headers that a file
// includes before this one are compiled for the baseline, so that no
// function built for one instruction set can stand in for another's.
#if defined(__clang__)
#define SOM_TARGET_PRAGMA_(x) _Pragma(#x)
#define SOM_TARGET_PRAGMA(x) SOM_TARGET_PRAGMA_(x)
SOM_TARGET_PRAGMA(clang attribute push(__attribute__((target(SOM_KERNEL_TARGET))),
                                       apply_to = function))
#else
#pragma GCC push_options
#define SOM_TARGET_PRAGMA_(x) _Pragma(#x)
#define SOM_TARGET_PRAGMA(x) SOM_TARGET_PRAGMA_(GCC target(x))
SOM_TARGET_PRAGMA(SOM_KERNEL_TARGET)
#endif
