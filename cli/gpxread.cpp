#include "cli/gpxread.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>

#include <expat.h>

#include "search/number.h"
#include "text/cp1252.h"
#include "text/fileio.h"
#include "text/utf8.h"

namespace {

// Bytes handed to expat at a time.
constexpr int kXmlBlock = 64 * 1024;

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
};

// True for GPX's namespace, 1.0 or 1.1, as programs write it: with http
// or https (OsmAnd), with or without a closing slash, in any case.
bool IsGpxNamespace(const char* uri, size_t len)
{
    auto skip = [&](const char* prefix) {
        const size_t n = std::strlen(prefix);
        if (len < n)
            return false;
        for (size_t i = 0; i < n; i++)
            if ((uri[i] | 0x20) != (prefix[i] | 0x20))
                return false;
        uri += n;
        len -= n;
        return true;
    };
    if (!skip("http://") && !skip("https://"))
        return false;
    if (!skip("www.topografix.com/gpx/1/"))
        return false;
    if (len > 0 && uri[len - 1] == '/')
        len--;
    return len == 1 && (uri[0] == '0' || uri[0] == '1');
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
    char buf[64];
    while (*value == ' ' || *value == '\t' || *value == '\n' || *value == '\r')
        value++;
    size_t n = 0;
    for (; value[n] != '\0' && n + 1 < sizeof buf; n++)
        buf[n] = value[n];
    if (value[n] != '\0')
        return false;
    while (n > 0 && (buf[n - 1] == ' ' || buf[n - 1] == '\t' || buf[n - 1] == '\n' || buf[n - 1] == '\r'))
        n--;
    buf[n] = '\0';
    if (n == 0)
        return false;
    // Decimals only: strtod's hexadecimal, "inf" and "nan" are no GPX.
    for (size_t i = 0; i < n; i++)
        if (!((buf[i] >= '0' && buf[i] <= '9') || buf[i] == '.' || buf[i] == '-' || buf[i] == '+' ||
              buf[i] == 'e' || buf[i] == 'E'))
            return false;
    // The search's own number reader: correctly rounded, as strtod, and
    // quick for the short decimals GPX files hold.
    wchar_t wide[64];
    for (size_t i = 0; i <= n; i++)
        wide[i] = (wchar_t)buf[i];
    wchar_t* end;
    *out = ParseNumber(wide, &end);
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
    if (g->ignoredDepth > 0) {
        g->ignoredDepth++;
        return;
    }
    const char* local = GpxLocalName(name);
    if (local == nullptr || std::strcmp(local, "extensions") == 0) {
        g->ignoredDepth = 1;
        return;
    }
    if (g->pointDepth == 0) {
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

// Windows-1252 for files that declare it: expat knows the ISO and Unicode
// encodings, this one from the table the reader uses.
int XMLCALL UnknownEncoding(void*, const XML_Char* name, XML_Encoding* info)
{
    static const char* const kNames[] = {"windows-1252", "cp1252", "x-cp1252"};
    bool known = false;
    for (const char* k : kNames) {
        size_t i = 0;
        while (k[i] != '\0' && name[i] != '\0' && (name[i] | 0x20) == (k[i] | 0x20))
            i++;
        known = known || (k[i] == '\0' && name[i] == '\0');
    }
    if (!known)
        return XML_STATUS_ERROR;
    for (int i = 0; i < 256; i++)
        info->map[i] = (int)Cp1252ToUnicode((unsigned char)i);
    info->data = nullptr;
    info->convert = nullptr;
    info->release = nullptr;
    return XML_STATUS_OK;
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
    XML_SetUnknownEncodingHandler(parser, UnknownEncoding, nullptr);
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
            const char* what = XML_ErrorString(XML_GetErrorCode(parser));
            std::wstring message = L"XML error: ";
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
                   void* pointContext, CheckSink report, void* reportContext)
{
    auto g = std::make_unique<GpxPass>();
    g->which = which;
    g->onPoint = onPoint;
    g->pointContext = pointContext;
    g->sink = report;
    g->context = reportContext;
    g->name = &inName;
    ResetPass(g.get());
    return GpxPassOver(in, g.get());
}
