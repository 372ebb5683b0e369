// The encodings a GPX file may declare besides those expat knows itself
// (UTF-8, UTF-16, ISO-8859-1 and US-ASCII under their own names): their
// common other names, and the single-byte sets of Europe.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <expat.h>

// Fills expat's map for the encoding a file declares as name; false when
// it is none that convert reads.
bool MapXmlEncoding(const char* name, XML_Encoding* info);

// The encodings convert reads, for a message.
extern const wchar_t kXmlEncodingsRead[];
