// The one program-wide record, and the types it is made of.
#pragma once

#include <windows.h>

#include <cstdint>

#include "textread.h"
#include "wtext.h"

// Which directory the file chooser lists.
enum ChooserMode : int32_t {
    kChooserTours = 1,   // tourDir
    kChooserPois = 2,    // poiDir
};

// One of the proximity search's five result slots.
struct NearestSlot {
    int32_t distanceKm;  // whole kilometres, truncated; kSlotEmpty when empty
    Text text;           // the finished result line
};

constexpr int32_t kSlotEmpty = 99999999;
constexpr int kNearestCount = 5;

// The text stream written by a save (the tour file, then the hand-off).
struct TextWriter {
    FILE* file;
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
