// A stand-in image library for the loader's tests: it exports every function the program takes by
// name, each returning the version text FAKE_VERSION. A build that defines FreeImage_<name> as another
// name leaves that function out.

#include "foundation/freeimage_function_list.h"

#define FAKE_FREEIMAGE_ENTRY(name)                                                                           \
    extern "C" const char* FreeImage_##name()                                                                \
    {                                                                                                        \
        return FAKE_VERSION;                                                                                 \
    }

FOLVEX_FREEIMAGE_FUNCTIONS(FAKE_FREEIMAGE_ENTRY)
