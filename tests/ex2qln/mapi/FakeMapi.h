// What the stand-in MAPI library answers, so that a test can tell which module a stub reached.
#pragma once

#include <mapiwin.h>

inline constexpr HRESULT kFakeInitializeStatus = 0x00000123;
