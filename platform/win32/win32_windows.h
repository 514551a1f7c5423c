// <windows.h> as every file of this layer includes it.
#pragma once

#include <windows.h>

// <windows.h> renames ReplaceFile to ReplaceFileW, which would rename the
// FileSystem member of that name in every file that sees both.
#undef ReplaceFile
