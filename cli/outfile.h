// The safe way a conversion writes a user's file OUT (text/replace.h):
// a failed conversion leaves no partial file and an existing OUT as it was.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include "text/replace.h"

// Why OUT cannot be written, in the words the command line reports.
const wchar_t* ReplaceProblemWords(ReplaceProblem problem);
