// Compiles the functions that follow for the instruction sets named by
// SOM_TARGET_FLAGS (one of the SOM_TARGET_FLAGS_* strings of
// common/targets.hpp), until target_end.hpp.
// Only the including file's own functions get it: the standard headers that
// a file includes before this one are compiled for the baseline, so that no
// function built for one instruction set can stand in for another's.
#if defined(__clang__)
#define SOM_TARGET_PRAGMA_(x) _Pragma(#x)
#define SOM_TARGET_PRAGMA(x) SOM_TARGET_PRAGMA_(x)
SOM_TARGET_PRAGMA(clang attribute push(__attribute__((target(SOM_TARGET_FLAGS))),
                                       apply_to = function))
#else
#pragma GCC push_options
#define SOM_TARGET_PRAGMA_(x) _Pragma(#x)
#define SOM_TARGET_PRAGMA(x) SOM_TARGET_PRAGMA_(GCC target(x))
SOM_TARGET_PRAGMA(SOM_TARGET_FLAGS)
#endif
