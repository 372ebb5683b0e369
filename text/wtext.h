// Fixed wide-character texts and their bounded copies.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <cstddef>

// Every text of the program is an array of this many wide characters,
// zero-terminated, so it holds at most kTextLen - 1 characters.
constexpr size_t kTextLen = 1024;
typedef wchar_t Text[kTextLen];

template <typename T, size_t N>
constexpr size_t CountOf(const T (&)[N]) { return N; }

// Copies src into dst[cap], cut to cap - 1 characters; dst is always
// terminated. Returns false when src had to be cut.
bool CopyText(wchar_t* dst, size_t cap, const wchar_t* src);

// Appends src to the text in dst[cap]. All or nothing: when the result
// would not fit, dst stays as it was and the answer is false, so that a
// path is never silently cut into the name of some other file.
bool AppendText(wchar_t* dst, size_t cap, const wchar_t* src);

// Length of s, looking at no more than cap characters.
size_t TextLength(const wchar_t* s, size_t cap);
