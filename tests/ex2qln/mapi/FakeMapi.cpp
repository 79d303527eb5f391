// A stand-in MAPI library with a few entry points of its own (and without the others).
#include <mapix.h>
#include <mapiutil.h>

#include "tests/ex2qln/mapi/FakeMapi.h"

STDAPI MAPIInitialize(LPVOID) { return kFakeInitializeStatus; }

STDAPI_(BOOL) FPropExists(LPMAPIPROP, ULONG) { return TRUE; }
