// <windows.h> as the tests take it: without the parts that nobody here uses
// and without the min and max macros, which would break std::min and
// std::numeric_limits<>::max. Includes nothing elsewhere.
#pragma once

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif
