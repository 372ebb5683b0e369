// Reading a list box entry into a fixed buffer.
#pragma once

#include <windows.h>

// An entry's data: set on a piece of a line longer than the reader's
// buffer, which a saved tour joins to the next entry as it was read.
constexpr LPARAM kEntryGoesOn = 1;

// The entry at index into buf[cap]. False for an index past the last entry
// (LB_ERR, also the "nothing selected" index) and for an entry too long for
// the buffer, which LB_GETTEXT would otherwise overrun.
inline bool ListText(HWND list, LRESULT index, wchar_t* buf, size_t cap)
{
    if (index < 0)
        return false;
    LRESULT length = SendMessageW(list, LB_GETTEXTLEN, index, 0);
    if (length == LB_ERR || length >= (LRESULT)cap)
        return false;
    return SendMessageW(list, LB_GETTEXT, index, (LPARAM)buf) != LB_ERR;
}
