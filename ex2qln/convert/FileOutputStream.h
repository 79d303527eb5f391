// The stream qlnconvert writes a converted message into: a file written from its start.
#pragma once

#include <objidl.h>

#include <string>

#include "platform/base/HResult.h"

namespace ex2qln::convert {

// Opens `path` for writing, creating it when missing. An existing file is overwritten in place and
// cut to the written length on Commit: truncating it first would make the file system flush it on
// close, a wait for every message of a batch. A missing file is created, with nothing to cut.
// Only Write, Commit and Stat are supported.
HRESULT OpenFileOutputStream(const std::string& path, IStream** stream);

} // namespace ex2qln::convert
