// Reading GPX (1.0 and 1.1) with expat, as a stream: memory stays flat
// whatever the size. No external entity or DTD is ever loaded.
// Platform-neutral: no Windows header, builds with the host compiler too.
#pragma once

#include <cstddef>
#include <string>

#include "cli/check.h"

// Which points of a GPX file are read.
enum GpxPoints {
    kGpxWaypoints,    // wpt
    kGpxRoutePoints,  // rtept of every route, in order: a tour
    kGpxTrackPoints,  // trkpt
};

// The texts of a point that may name it, in the order they are asked.
enum GpxField { kGpxNoField = -1, kGpxName, kGpxDesc, kGpxCmt, kGpxFields };

// Text kept of a name, desc or cmt: more than a line of the list can show.
constexpr size_t kGpxFieldUnits = 1100;

// One point as read.
struct GpxPoint {
    long line;              // where its element starts
    double lat, lon;        // degrees, where problem is empty
    std::wstring problem;   // why it has no usable position; empty when it has one
    wchar_t text[kGpxFields][kGpxFieldUnits + 1];
    size_t textLen[kGpxFields];
};

// What a file holds besides the points asked for, to say why none were.
struct GpxContents {
    bool gpxRoot;                 // its root element is GPX's
    long points[3];               // points of each kind (a GpxPoints)
};

// Takes each point; false stops the reading (the report cannot be written).
typedef bool (*GpxPointSink)(void* context, const GpxPoint& point);

// Reads the points of one kind from the GPX file in, in document order.
// False, with the reason reported as "NAME:LINE: message" (NAME as the
// user gave the file), when it cannot be read or is not well-formed XML,
// or when a sink stopped it.
bool ReadGpxPoints(const std::wstring& in, const std::wstring& inName, GpxPoints which, GpxPointSink onPoint,
                   void* pointContext, CheckSink report, void* reportContext, GpxContents* contents);
