// The one program-wide record, and the types it is made of.
#pragma once

#include <windows.h>

#include <cstdint>

#include "search/nearest.h"
#include "text/textread.h"
#include "text/textwrite.h"
#include "text/wtext.h"

// Which directory the file chooser lists.
enum ChooserMode : int32_t {
    kChooserTours = 1,   // tourDir
    kChooserPois = 2,    // poiDir
};

struct AppState {
    TextWriter outFile;        // the file being written
    TextReader inFile;         // the file being read: configuration, POI or tour file
    HINSTANCE instance;        // where dialog templates are looked up
    int32_t routeHandOff;      // the hand-off is written only when exactly 1
    Text poiDir;               // POI files, ends in a backslash
    Text tourDir;              // tour files, ends in a backslash
    Text lineBuf;              // the shared line and path buffer
    int32_t screenWidth;       // pixels; picks the layouts
    int32_t chooserMode;       // a ChooserMode
    Text fileName;             // chosen name; after a save the tour's path
    wchar_t* parseEnd;         // where the last number parsed ended
    HWND tourList;             // the main window's tour list (4001)
    NearestSlot nearest[kNearestCount];
};

// Static, so zero-filled at process start.
extern AppState app;

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The device clock as seconds since 1970-01-01 00:00:00 UTC, cut to 32
// bits; also stored through seconds when it is not null.
int32_t CurrentUnixTime(int32_t* seconds);

// OK in the main window: writes the tour list to a new time-stamped file
// in tourDir and the route hand-off. True when the tour is saved; false
// when it is not, and then the failed path is the tour's last entry.
bool SaveTour();
