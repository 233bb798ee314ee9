// Ends the instruction sets that target_begin.hpp started.
#if defined(__clang__)
#pragma clang attribute pop
#else
#pragma GCC pop_options
#endif
#undef SOM_TARGET_PRAGMA
#undef SOM_TARGET_PRAGMA_
#undef SOM_TARGET_FLAGS
