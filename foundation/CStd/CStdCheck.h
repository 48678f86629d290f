#pragma once
// Precondition checks of the asserting build (internal to CStd/*.cpp).
//
// In the build compiled with VORN_CSTD_CHECKED=1, VORN_CSTD_CHECK reports a broken condition
// through Vorn::AssertionFailed (file "CStd", this line, the given function text) and stops the
// process with a trap instruction; it never returns then. In the plain build it does nothing and
// does not evaluate its arguments.
#if defined(VORN_CSTD_CHECKED) && VORN_CSTD_CHECKED
#include "foundation/AssertionReport.h"

#define VORN_CSTD_CHECK(condition, expressionText, description, functionText)                   \
    do {                                                                                         \
        if (!(condition)) {                                                                      \
            ::Vorn::AssertionFailed(expressionText, description, "CStd", __LINE__, functionText); \
            __builtin_trap();                                                                    \
        }                                                                                        \
    } while (0)
#define VORN_CSTD_CHECKED_BUILD 1
#else
#define VORN_CSTD_CHECK(condition, expressionText, description, functionText) ((void)0)
#define VORN_CSTD_CHECKED_BUILD 0
#endif
