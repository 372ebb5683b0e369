#include "cli/gpxread.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include <expat.h>

#include "cli/xmlencodings.h"
#include "search/number.h"
#include "text/cp1252.h"
#include "text/fileio.h"
#include "text/utf8.h"

namespace {

// Bytes handed to expat at a time.
constexpr int kXmlBlock = 64 * 1024;
// Elements nested deeper than this are no GPX a program wrote: the file
// is refused, so that expat's stack of open elements stays small.
constexpr int kMostDepth = 1000;

// expat gives names as "namespace\x01local" (or "local" alone).
constexpr char kNamespaceMark = '\x01';

// What one pass over the GPX keeps: where it is in the tree, the point it
// is inside, and the texts of that point.
struct GpxPass {
    XML_Parser parser;
    GpxPoints which;
    int ignoredDepth;         // > 0 inside extensions or another schema's element
    int depth;
    int pointDepth;           // depth of the point being read, 0 outside
    GpxField field;              // the text being collected, a child of the point
    int fieldDepth;
    GpxPoint point;           // the point being read
    bool textFull[kGpxFields];
    GpxPointSink onPoint;
    void* pointContext;
    CheckSink sink;
    void* context;
    const std::wstring* name;
    bool stopped;             // the report could not be written
    bool tooDeep;             // elements nested deeper than kMostDepth
    std::wstring unknownEncoding;   // the name of an encoding not read
    GpxContents contents;
};

// True for GPX's namespace, 1.0 or 1.1, as programs write it: with http
// or https (OsmAnd), with or without a closing slash, in any case.
bool IsGpxNamespace(const char* uri, size_t len)
{
    // Any spelling that names GPX 1.0 or 1.1: with or without "www.",
    // http or https, a closing slash, the schema's file, blanks round it.
    std::string lower;
    for (size_t i = 0; i < len; i++)
        if (uri[i] != ' ' && uri[i] != '\t' && uri[i] != '\n' && uri[i] != '\r')
            lower += (char)(uri[i] >= 'A' && uri[i] <= 'Z' ? uri[i] + 32 : uri[i]);
    for (const char* version : {"topografix.com/gpx/1/0", "topografix.com/gpx/1/1"}) {
        const size_t at = lower.find(version);
        if (at == std::string::npos)
            continue;
        const std::string before = lower.substr(0, at), after = lower.substr(at + std::strlen(version));
        if ((before == "http://" || before == "https://" || before == "http://www." || before == "https://www.") &&
            (after.empty() || after == "/" || after == "/gpx.xsd"))
            return true;
    }
    return false;
}

// The local name of a GPX element, or null for another schema's element.
const char* GpxLocalName(const char* name)
{
    const char* mark = std::strchr(name, kNamespaceMark);
    if (mark == nullptr)
        return name;   // no namespace: GPX as many programs write it
    return IsGpxNamespace(name, (size_t)(mark - name)) ? mark + 1 : nullptr;
}

const char* PointElement(GpxPoints which)
{
    return which == kGpxRoutePoints ? "rtept" : which == kGpxTrackPoints ? "trkpt" : "wpt";
}

// An attribute's number: XML white space around it, nothing else. False
// when it is missing, not a number, or not finite.
bool ReadCoordinate(const char* value, double* out)
{
    if (value == nullptr)
        return false;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (blank(*value))
        value++;
    size_t n = std::strlen(value);
    while (n > 0 && blank(value[n - 1]))
        n--;
    if (n == 0)
        return false;
    // Decimals only: strtod's hexadecimal, "inf" and "nan" are no GPX.
    std::wstring wide;
    for (size_t i = 0; i < n; i++) {
        const char c = value[i];
        if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
            return false;
        wide += (wchar_t)c;
    }
    // The search's own number reader: correctly rounded, as strtod, and
    // quick for the short decimals GPX files hold.
    wchar_t* end;
    *out = ParseNumber(wide.c_str(), &end);
    return *end == L'\0' && std::isfinite(*out);
}

// An attribute's text for a message: ASCII as it stands, anything else
// "?", at most 40 characters.
std::wstring Shown(const char* value)
{
    std::wstring s;
    for (; *value != '\0' && s.size() < 40; value++)
        s += (unsigned char)*value >= 0x20 && (unsigned char)*value < 0x7F ? (wchar_t)*value : L'?';
    return s;
}

void XMLCALL GpxStart(void* data, const XML_Char* name, const XML_Char** attributes)
{
    GpxPass* g = (GpxPass*)data;
    g->depth++;
    if (g->depth > kMostDepth) {
        g->tooDeep = true;
        XML_StopParser(g->parser, XML_FALSE);
        return;
    }
    if (g->ignoredDepth > 0) {
        g->ignoredDepth++;
        return;
    }
    const char* local = GpxLocalName(name);
    if (local == nullptr || std::strcmp(local, "extensions") == 0) {
        g->ignoredDepth = 1;
        return;
    }
    if (g->depth == 1)
        g->contents.gpxRoot = std::strcmp(local, "gpx") == 0;
    if (g->pointDepth == 0) {
        for (int kind = kGpxWaypoints; kind <= kGpxTrackPoints; kind++)
            g->contents.points[kind] += std::strcmp(local, PointElement((GpxPoints)kind)) == 0;
        if (std::strcmp(local, PointElement(g->which)) != 0)
            return;
        g->pointDepth = g->depth;
        g->point.line = (long)XML_GetCurrentLineNumber(g->parser);
        const char* lat = nullptr;
        const char* lon = nullptr;
        for (int i = 0; attributes[i] != nullptr; i += 2) {
            if (std::strcmp(attributes[i], "lat") == 0)
                lat = attributes[i + 1];
            else if (std::strcmp(attributes[i], "lon") == 0)
                lon = attributes[i + 1];
        }
        const bool latOk = ReadCoordinate(lat, &g->point.lat);
        const bool lonOk = ReadCoordinate(lon, &g->point.lon);
        g->point.problem.clear();
        if (lat == nullptr)
            g->point.problem = L"no latitude (attribute lat)";
        else if (!latOk)
            g->point.problem = L"latitude \"" + Shown(lat) + L"\" is not a number";
        else if (lon == nullptr)
            g->point.problem = L"no longitude (attribute lon)";
        else if (!lonOk)
            g->point.problem = L"longitude \"" + Shown(lon) + L"\" is not a number";
        else if (std::fabs(g->point.lat) > 90)
            g->point.problem = L"latitude " + Shown(lat) + L" beyond \u00b190";
        else if (std::fabs(g->point.lon) > 180)
            g->point.problem = L"longitude " + Shown(lon) + L" beyond \u00b1180";
        for (int f = 0; f < kGpxFields; f++) {
            g->point.textLen[f] = 0;
            g->textFull[f] = false;
        }
        return;
    }
    // The point's own name, desc and cmt; deeper elements are not its.
    if (g->depth == g->pointDepth + 1) {
        g->field = std::strcmp(local, "name") == 0   ? kGpxName
                   : std::strcmp(local, "desc") == 0 ? kGpxDesc
                   : std::strcmp(local, "cmt") == 0  ? kGpxCmt
                                                     : kGpxNoField;
        g->fieldDepth = g->depth;
        if (g->field != kGpxNoField)
            g->point.textLen[g->field] = 0;   // the last of several counts
    }
}

// Characters of UTF-8 text into wide text, up to cap units.
void AppendUtf8(wchar_t* to, size_t* len, bool* full, size_t cap, const char* s, int n)
{
    const unsigned char* p = (const unsigned char*)s;
    const unsigned char* end = p + n;
    while (p < end && !*full) {
        uint32_t cp;
        int l = Utf8SequenceAt(p, (size_t)(end - p), &cp);
        if (l <= 0) {   // expat gives valid UTF-8; keep going whatever
            cp = 0xFFFD;
            l = 1;
        }
        p += l;
        const size_t units = sizeof(wchar_t) == 2 && cp > 0xFFFF ? 2 : 1;
        if (*len + units > cap) {
            *full = true;
            break;
        }
        *len += PutWide(to + *len, cp);
    }
}

void XMLCALL GpxText(void* data, const XML_Char* s, int len)
{
    GpxPass* g = (GpxPass*)data;
    if (g->ignoredDepth > 0 || g->pointDepth == 0 || g->field == kGpxNoField || g->depth != g->fieldDepth)
        return;
    AppendUtf8(g->point.text[g->field], &g->point.textLen[g->field], &g->textFull[g->field], kGpxFieldUnits, s, len);
}

void XMLCALL GpxEnd(void* data, const XML_Char*)
{
    GpxPass* g = (GpxPass*)data;
    const int depth = g->depth--;
    if (g->ignoredDepth > 0) {
        g->ignoredDepth--;
        return;
    }
    if (g->pointDepth == 0)
        return;
    if (depth == g->fieldDepth)
        g->field = kGpxNoField;
    if (depth != g->pointDepth)
        return;
    g->pointDepth = 0;
    if (!g->stopped)
        g->stopped = !g->onPoint(g->pointContext, g->point);
}

// The encodings expat does not know by the name a file gives, from our
// own maps; the name kept for the message where there is none.
int XMLCALL UnknownEncoding(void* data, const XML_Char* name, XML_Encoding* info)
{
    GpxPass* g = (GpxPass*)data;
    if (MapXmlEncoding(name, info))
        return XML_STATUS_OK;
    g->unknownEncoding.clear();
    for (const char* c = name; *c != '\0' && g->unknownEncoding.size() < 40; c++)
        g->unknownEncoding += (unsigned char)*c >= 0x20 && (unsigned char)*c < 0x7F ? (wchar_t)*c : L'?';
    return XML_STATUS_ERROR;
}

// One pass over the GPX file; false, with the reason reported, when it
// cannot be read or is not well-formed XML.
bool GpxPassOver(const std::wstring& in, GpxPass* g)
{
    FILE* f = OpenFileWide(in.c_str(), "rb");
    if (f == nullptr) {
        ReportAt(g->sink, g->context, *g->name, 0, L"cannot read it (missing, a folder, not a regular file, or not readable)");
        return false;
    }
    XML_Parser parser = XML_ParserCreateNS(nullptr, kNamespaceMark);
    if (parser == nullptr) {
        std::fclose(f);
        ReportAt(g->sink, g->context, *g->name, 0, L"out of memory");
        return false;
    }
    g->parser = parser;
    XML_SetUserData(parser, g);
    XML_SetElementHandler(parser, GpxStart, GpxEnd);
    XML_SetCharacterDataHandler(parser, GpxText);
    XML_SetUnknownEncodingHandler(parser, UnknownEncoding, g);
    // No external entity or DTD is ever loaded (expat's default; said here
    // so that it stays so).
    XML_SetParamEntityParsing(parser, XML_PARAM_ENTITY_PARSING_NEVER);
    bool ok = true;
    for (;;) {
        void* buf = XML_GetBuffer(parser, kXmlBlock);
        if (buf == nullptr) {
            ok = false;
            ReportAt(g->sink, g->context, *g->name, 0, L"out of memory");
            break;
        }
        const size_t got = std::fread(buf, 1, kXmlBlock, f);
        if (std::ferror(f)) {
            ok = false;
            ReportAt(g->sink, g->context, *g->name, 0, L"cannot read it: a read failed part way");
            break;
        }
        const bool last = got < (size_t)kXmlBlock;
        if (XML_ParseBuffer(parser, (int)got, last) != XML_STATUS_OK) {
            ok = false;
            const XML_Error error = XML_GetErrorCode(parser);
            const char* what = XML_ErrorString(error);
            std::wstring message = L"XML error: ";
            if (error == XML_ERROR_UNKNOWN_ENCODING && !g->unknownEncoding.empty())
                message += L"the file's encoding \"" + g->unknownEncoding + L"\" is not one convert reads (" +
                           kXmlEncodingsRead + L")";
            else if (g->tooDeep)
                message += L"elements nested deeper than " + std::to_wstring(kMostDepth) + L"; no GPX file is";
            else if (last && g->depth > 0 &&
                     (error == XML_ERROR_NO_ELEMENTS || error == XML_ERROR_UNCLOSED_TOKEN ||
                      error == XML_ERROR_PARTIAL_CHAR))
                message += L"the file ends inside an element (cut off?)";
            else
                for (const char* c = what != nullptr ? what : "error"; *c != '\0'; c++)
                    message += (wchar_t)(unsigned char)*c;
            ReportAt(g->sink, g->context, *g->name, (long)XML_GetCurrentLineNumber(parser), message);
            break;
        }
        if (last || g->stopped)
            break;
    }
    XML_ParserFree(parser);
    std::fclose(f);
    return ok && !g->stopped;
}

void ResetPass(GpxPass* g)
{
    g->ignoredDepth = g->depth = g->pointDepth = 0;
    g->field = kGpxNoField;
    g->fieldDepth = 0;
}

}  // namespace

bool ReadGpxPoints(const std::wstring& in, const std::wstring& inName, GpxPoints which, GpxPointSink onPoint,
                   void* pointContext, CheckSink report, void* reportContext, GpxContents* contents)
{
    auto g = std::make_unique<GpxPass>();
    g->which = which;
    g->onPoint = onPoint;
    g->pointContext = pointContext;
    g->sink = report;
    g->context = reportContext;
    g->name = &inName;
    ResetPass(g.get());
    g->contents = GpxContents{};
    const bool read = GpxPassOver(in, g.get());
    *contents = g->contents;
    return read;
}
