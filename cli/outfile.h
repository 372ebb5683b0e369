// The safe way a conversion writes a user's file OUT: under a temporary
// name beside it, put in place in one step only when complete, so that a
// failed conversion leaves no partial file and an existing OUT as it was.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <string>

// The temporary name beside out, told apart by tag.
std::wstring TemporaryName(const std::wstring& out, const wchar_t* tag);

// Puts the complete temporary file in place of out; false when it could
// not be done (the temporary is then still there).
bool PutInPlace(const std::wstring& part, const std::wstring& out);

// Removes a temporary file that is not to be kept.
void Discard(const std::wstring& part);
