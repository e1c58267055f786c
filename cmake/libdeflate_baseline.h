// Included before every source of the extractor's libdeflate: only the code paths every x86
// processor runs, without the run-time choice of BMI2 and AVX2 variants. Each variant is a
// second copy of the inflater (2.6 KiB of code in every SFX file) for a speed the writing of
// the files never lets an extractor use. x86_64 still has SSE2, its baseline.
#include "lib/lib_common.h"
#undef COMPILER_SUPPORTS_TARGET_FUNCTION_ATTRIBUTE
#define COMPILER_SUPPORTS_TARGET_FUNCTION_ATTRIBUTE 0
