#include "convert.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>

#include <expat.h>

#ifdef _WIN32
#include <windows.h>
#endif

#include "nearest.h"
#include "textwrite.h"
#include "wtext.h"

namespace {

// A line of the device's list holds 1023 UTF-16 units with its line feed:
// the longest POI line written, without CR LF.
constexpr size_t kPoiLineUnits = 1022;
// Text kept of a name, desc or cmt: more than a line can show.
constexpr size_t kFieldUnits = 1100;
// Bytes handed to expat at a time.
constexpr int kXmlBlock = 64 * 1024;

// ---- Numbers ----------------------------------------------------------

// A 128-bit unsigned number in two halves, for the exact rounding below.
struct U128 {
    uint64_t hi, lo;
};

U128 Multiply(uint64_t a, uint64_t b)
{
    const uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32, b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
    const uint64_t p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
    const uint64_t middle = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
    return {p11 + (p01 >> 32) + (p10 >> 32) + (middle >> 32), (middle << 32) | (p00 & 0xFFFFFFFFu)};
}

// n >> shift rounded half to even; shift from 1 to 127.
uint64_t ShiftRounded(U128 n, int shift)
{
    U128 q = shift >= 64 ? U128{0, n.hi >> (shift - 64)}
                         : U128{n.hi >> shift, (n.lo >> shift) | (n.hi << 1 << (63 - shift))};
    // The bits shifted out against one half: the top one, and any below it.
    const int h = shift - 1;
    const bool half = (h >= 64 ? n.hi >> (h - 64) : n.lo >> h) & 1;
    const bool below = h >= 64 ? n.lo != 0 || (n.hi & ((1ULL << (h - 64)) - 1)) != 0
                               : (n.lo & ((1ULL << h) - 1)) != 0;
    if (half && (below || (q.lo & 1)))
        q.lo++;
    return q.lo;
}

}  // namespace

std::wstring FormatDegrees(double value, int decimals)
{
    if (!std::isfinite(value) || std::fabs(value) >= 1e9 || decimals < 0 || decimals > 9)
        return L"nan";
    static const uint64_t kTen[] = {1, 10, 100, 1000, 10000, 100000, 1000000, 10000000, 100000000, 1000000000};
    int exponent;
    const double mantissa = std::frexp(std::fabs(value), &exponent);
    // |value| = m * 2^(exponent - 53) with m a 53-bit integer.
    const uint64_t m = (uint64_t)std::ldexp(mantissa, 53);
    const int shift = 53 - exponent;
    uint64_t scaled;
    if (m == 0) {
        scaled = 0;
    } else if (shift <= 0) {
        scaled = (m << -shift) * kTen[decimals];   // a whole number below 1e9
    } else if (shift >= 128) {
        scaled = 0;                                // far below half a unit
    } else {
        scaled = ShiftRounded(Multiply(m, kTen[decimals]), shift);
    }
    // The digits from the right: the decimals, the point, the whole part.
    wchar_t digits[40];
    wchar_t* p = digits + 40;
    *--p = L'\0';
    for (int i = 0; i < decimals; i++, scaled /= 10)
        *--p = (wchar_t)(L'0' + scaled % 10);
    if (decimals > 0)
        *--p = L'.';
    do {
        *--p = (wchar_t)(L'0' + scaled % 10);
        scaled /= 10;
    } while (scaled != 0);
    if (std::signbit(value) && std::wcsspn(p, L"0.") != std::wcslen(p))
        *--p = L'-';
    return std::wstring(p);
}

namespace {

// ---- Files ------------------------------------------------------------

// Replaces to by from in one step: readers of to see the old file or the
// new one, never a part.
bool ReplaceFile(const std::wstring& from, const std::wstring& to)
{
#ifdef _WIN32
    return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    char a[4096], b[4096];
    return NarrowFileName(from.c_str(), a, sizeof a) && NarrowFileName(to.c_str(), b, sizeof b) &&
           std::rename(a, b) == 0;
#endif
}

// The temporary name beside OUT.
std::wstring PartName(const std::wstring& out)
{
    return out + L".part";
}

bool Report(CheckSink sink, void* context, const std::wstring& name, long line, const std::wstring& message)
{
    return sink(context, name + (line > 0 ? L":" + std::to_wstring(line) : L"") + L": " + message + L"\n");
}

// ---- GPX to POI ---------------------------------------------------------

// expat gives names as "namespace\x01local" (or "local" alone).
constexpr char kNamespaceMark = '\x01';

enum Field { kNoField = -1, kName, kDesc, kCmt, kFields };

// What one pass over the GPX keeps: where it is in the tree, the point it
// is inside, and the texts of that point.
struct GpxPass {
    XML_Parser parser;
    GpxPoints which;
    int ignoredDepth;         // > 0 inside extensions or another schema's element
    int depth;
    int pointDepth;           // depth of the point being read, 0 outside
    Field field;              // the text being collected, a child of the point
    int fieldDepth;
    long pointLine;
    double lat, lon;
    std::wstring problem;     // why the point is left out, empty when it is not
    wchar_t text[kFields][kFieldUnits + 1];
    size_t textLen[kFields];
    bool textFull[kFields];
    // Results.
    Cp1252Utf8Check fit;      // do all names so far fit Windows-1252
    TextWriter* utf8;         // the file in UTF-8
    TextWriter* cp1252;       // and in Windows-1252, while every name fits
    long points, skipped;
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
        g->pointLine = (long)XML_GetCurrentLineNumber(g->parser);
        const char* lat = nullptr;
        const char* lon = nullptr;
        for (int i = 0; attributes[i] != nullptr; i += 2) {
            if (std::strcmp(attributes[i], "lat") == 0)
                lat = attributes[i + 1];
            else if (std::strcmp(attributes[i], "lon") == 0)
                lon = attributes[i + 1];
        }
        const bool latOk = ReadCoordinate(lat, &g->lat);
        const bool lonOk = ReadCoordinate(lon, &g->lon);
        g->problem.clear();
        if (lat == nullptr)
            g->problem = L"no latitude (attribute lat)";
        else if (!latOk)
            g->problem = L"latitude \"" + Shown(lat) + L"\" is not a number";
        else if (lon == nullptr)
            g->problem = L"no longitude (attribute lon)";
        else if (!lonOk)
            g->problem = L"longitude \"" + Shown(lon) + L"\" is not a number";
        else if (std::fabs(g->lat) > 90)
            g->problem = L"latitude " + Shown(lat) + L" beyond \u00b190";
        else if (std::fabs(g->lon) > 180)
            g->problem = L"longitude " + Shown(lon) + L" beyond \u00b1180";
        for (int f = 0; f < kFields; f++) {
            g->textLen[f] = 0;
            g->textFull[f] = false;
        }
        return;
    }
    // The point's own name, desc and cmt; deeper elements are not its.
    if (g->depth == g->pointDepth + 1) {
        g->field = std::strcmp(local, "name") == 0   ? kName
                   : std::strcmp(local, "desc") == 0 ? kDesc
                   : std::strcmp(local, "cmt") == 0  ? kCmt
                                                     : kNoField;
        g->fieldDepth = g->depth;
        if (g->field != kNoField)
            g->textLen[g->field] = 0;   // the last of several counts
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
        if (units == 2) {
            to[(*len)++] = (wchar_t)(0xD800 + ((cp - 0x10000) >> 10));
            to[(*len)++] = (wchar_t)(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            to[(*len)++] = (wchar_t)cp;
        }
    }
}

void XMLCALL GpxText(void* data, const XML_Char* s, int len)
{
    GpxPass* g = (GpxPass*)data;
    if (g->ignoredDepth > 0 || g->pointDepth == 0 || g->field == kNoField || g->depth != g->fieldDepth)
        return;
    AppendUtf8(g->text[g->field], &g->textLen[g->field], &g->textFull[g->field], kFieldUnits, s, len);
}

bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t' || c == L'\n' || c == L'\r';
}

// The name as the list shows it: the first of name, desc and cmt that
// holds more than white space; white space at its ends dropped, a line
// break with the blanks round it made one space, other control characters
// a space each, a double quote (which ends the name on the device) a
// single one.
std::wstring PoiName(GpxPass* g)
{
    for (int f = 0; f < kFields; f++) {
        const wchar_t* t = g->text[f];
        size_t b = 0, e = g->textLen[f];
        while (b < e && IsBlank(t[b]))
            b++;
        while (e > b && IsBlank(t[e - 1]))
            e--;
        if (b == e)
            continue;
        std::wstring name;
        for (size_t i = b; i < e; i++) {
            const wchar_t c = t[i];
            if (c == L'\n' || c == L'\r') {
                while (!name.empty() && IsBlank(name.back()))
                    name.pop_back();
                while (i + 1 < e && IsBlank(t[i + 1]))
                    i++;
                name += L' ';
            } else if (c == L'"') {
                name += L'\'';
            } else if ((unsigned)c < 0x20 || c == 0x7F || ((unsigned)c >= 0x80 && (unsigned)c < 0xA0)) {
                name += L' ';
            } else {
                name += c;
            }
        }
        return name;
    }
    return std::wstring();
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
        g->field = kNoField;
    if (depth != g->pointDepth)
        return;
    g->pointDepth = 0;
    std::wstring line;
    if (g->problem.empty()) {
        line = FormatDegrees(g->lon, 6) + L"," + FormatDegrees(g->lat, 6);
        // Both rounded to zero: the device takes 0,0 for no position.
        if (line.find_first_not_of(L"-0.,") == std::wstring::npos)
            g->problem = L"position 0,0, which the device takes for no position";
    }
    if (!g->problem.empty()) {
        g->skipped++;
        if (!g->stopped)
            g->stopped = !Report(g->sink, g->context, *g->name, g->pointLine, L"point left out: " + g->problem);
        return;
    }
    std::wstring name = PoiName(g);
    line += L",\"";
    // Cut inside the name so that the line fits one entry of the list,
    // never between the halves of a surrogate pair.
    size_t room = kPoiLineUnits - line.size() - 1, units = 0, keep = 0;
    for (; keep < name.size(); keep++) {
        const size_t u = ((uint32_t)name[keep] >> 16) != 0 ? 2 : 1;   // beyond U+FFFF: a pair
        const bool pairStart = sizeof(wchar_t) == 2 && name[keep] >= 0xD800 && name[keep] <= 0xDBFF;
        if (units + u + (pairStart ? 1 : 0) > room)
            break;
        units += u;
    }
    name.resize(keep);
    line += name;
    line += L"\"\n";
    TextWrite(g->utf8, line.c_str());
    if (g->cp1252 != nullptr) {
        Cp1252CheckText(&g->fit, name.c_str());
        if (g->fit.unfit)
            g->cp1252 = nullptr;   // this name has no Windows-1252 bytes: UTF-8 it is
        else
            TextWrite(g->cp1252, line.c_str());
    }
    g->points++;
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
        Report(g->sink, g->context, *g->name, 0, L"cannot read it (missing, a folder, not a regular file, or not readable)");
        return false;
    }
    XML_Parser parser = XML_ParserCreateNS(nullptr, kNamespaceMark);
    if (parser == nullptr) {
        std::fclose(f);
        Report(g->sink, g->context, *g->name, 0, L"out of memory");
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
            Report(g->sink, g->context, *g->name, 0, L"out of memory");
            break;
        }
        const size_t got = std::fread(buf, 1, kXmlBlock, f);
        if (std::ferror(f)) {
            ok = false;
            Report(g->sink, g->context, *g->name, 0, L"cannot read it: a read failed part way");
            break;
        }
        const bool last = got < (size_t)kXmlBlock;
        if (XML_ParseBuffer(parser, (int)got, last) != XML_STATUS_OK) {
            ok = false;
            const char* what = XML_ErrorString(XML_GetErrorCode(parser));
            std::wstring message = L"XML error: ";
            for (const char* c = what != nullptr ? what : "error"; *c != '\0'; c++)
                message += (wchar_t)(unsigned char)*c;
            Report(g->sink, g->context, *g->name, (long)XML_GetCurrentLineNumber(parser), message);
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
    g->field = kNoField;
    g->fieldDepth = 0;
}

// ---- POI to GPX ---------------------------------------------------------

// Text for XML: the five marks escaped, and what XML 1.0 cannot hold (most
// control characters, lone surrogate halves) made a space.
std::wstring XmlText(const std::wstring& s)
{
    std::wstring out;
    for (size_t i = 0; i < s.size(); i++) {
        const uint32_t c = (uint32_t)s[i];
        if (c == L'&')
            out += L"&amp;";
        else if (c == L'<')
            out += L"&lt;";
        else if (c == L'>')
            out += L"&gt;";
        else if (c == L'"')
            out += L"&quot;";
        else if ((c < 0x20 && c != L'\t') || c == 0xFFFE || c == 0xFFFF)
            out += L' ';
        else if (sizeof(wchar_t) == 2 && c >= 0xD800 && c <= 0xDBFF && i + 1 < s.size() &&
                 (uint32_t)s[i + 1] >= 0xDC00 && (uint32_t)s[i + 1] <= 0xDFFF) {
            out += s[i];
            out += s[++i];
        } else if (c >= 0xD800 && c <= 0xDFFF)
            out += L' ';
        else
            out += (wchar_t)c;
    }
    return out;
}

// The name on a POI line: the rest after the latitude, without the
// separator before it, its quotes and the white space round it.
std::wstring NameAfter(const wchar_t* rest)
{
    if (*rest != L'\0' && *rest != L'\n' && *rest != L'"')
        rest++;
    std::wstring name;
    for (; *rest != L'\0' && *rest != L'\n'; rest++)
        if (*rest != L'"')
            name += *rest;
    size_t b = 0, e = name.size();
    while (b < e && IsBlank(name[b]))
        b++;
    while (e > b && IsBlank(name[e - 1]))
        e--;
    return name.substr(b, e - b);
}

// A coordinate for GPX: nine decimals at most, trailing zeros dropped.
std::wstring GpxDegrees(double v)
{
    std::wstring s = FormatDegrees(v, 9);
    while (!s.empty() && s.back() == L'0')
        s.pop_back();
    if (!s.empty() && s.back() == L'.')
        s.pop_back();
    return s == L"-0" ? L"0" : s;
}

// The file's name without folder and extension, for the route's name.
std::wstring BaseName(const std::wstring& path)
{
    size_t slash = path.find_last_of(L"/\\");
    std::wstring base = slash == std::wstring::npos ? path : path.substr(slash + 1);
    size_t dot = base.find_last_of(L'.');
    return dot == std::wstring::npos || dot == 0 ? base : base.substr(0, dot);
}

}  // namespace

ConvertCounts ConvertGpxToPoi(const std::wstring& in, const std::wstring& inName, const std::wstring& out,
                              GpxPoints which, CheckSink sink, void* context)
{
    ConvertCounts counts = {};
    auto g = std::make_unique<GpxPass>();
    g->which = which;
    g->sink = sink;
    g->context = context;
    g->name = &inName;
    g->fit = Cp1252Utf8Check();
    ResetPass(g.get());
    // One pass over the GPX writes the file both ways until a name does
    // not fit Windows-1252; the one to keep is known at the end.
    const std::wstring partUtf8 = PartName(out), partCp1252 = out + L".part1252";
    TextWriter utf8, cp1252;
    if (!TextOpenWrite(&utf8, partUtf8.c_str(), kEncodingUtf8) ||
        !TextOpenWrite(&cp1252, partCp1252.c_str(), kEncodingCp1252)) {
        TextCloseWrite(&utf8);
        RemoveFileWide(partUtf8.c_str());
        Report(sink, context, out, 0, L"cannot write it (no such folder, or not writable)");
        return counts;
    }
    g->utf8 = &utf8;
    g->cp1252 = &cp1252;
    const bool read = GpxPassOver(in, g.get());
    counts.read = read;
    counts.points = g->points;
    counts.skipped = g->skipped;
    const bool useCp1252 = g->cp1252 != nullptr && !Cp1252ReadsAsUtf8(&g->fit);
    counts.encoding = useCp1252 ? kEncodingCp1252 : kEncodingUtf8;
    const bool closedUtf8 = TextCloseWrite(&utf8), closedCp1252 = TextCloseWrite(&cp1252);
    const bool closed = useCp1252 ? closedCp1252 : closedUtf8;
    const std::wstring& keep = useCp1252 ? partCp1252 : partUtf8;
    RemoveFileWide((useCp1252 ? partUtf8 : partCp1252).c_str());
    if (!read || !closed || !ReplaceFile(keep, out)) {
        RemoveFileWide(keep.c_str());
        if (read)
            Report(sink, context, out, 0, L"cannot write it (a full disk?); left as it was");
        return counts;
    }
    counts.written = true;
    return counts;
}

ConvertCounts ConvertPoiToGpx(const std::wstring& in, const std::wstring& inName, const std::wstring& out,
                              bool route, CheckSink sink, void* context)
{
    ConvertCounts counts = {};
    counts.encoding = kEncodingUtf8;
    auto reader = std::make_unique<TextReader>();
    if (!TextOpenRead(reader.get(), in.c_str())) {
        Report(sink, context, inName, 0, L"cannot read it (missing, a folder, not a regular file, or not readable)");
        return counts;
    }
    const std::wstring part = PartName(out);
    FILE* f = OpenFileWide(part.c_str(), "wb");
    if (f == nullptr) {
        TextClose(reader.get());
        Report(sink, context, out, 0, L"cannot write it (no such folder, or not writable)");
        return counts;
    }
    TextWriter w;
    TextAttachWrite(&w, f);
    TextWrite(&w, L"<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                  L"<gpx version=\"1.1\" creator=\"wendrik-cli\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n");
    if (route)
        TextWrite(&w, (L"  <rte>\n    <name>" + XmlText(BaseName(inName)) + L"</name>\n").c_str());
    Text piece;
    long line = 0;
    bool lineStart = true, stopped = false;
    while (!stopped && TextReadLine(reader.get(), piece, kTextLen)) {
        const bool first = lineStart;
        const size_t n = std::wcslen(piece);
        lineStart = n > 0 && piece[n - 1] == L'\n';
        if (!first)
            continue;   // the rest of a long line: the first piece decides, as in the list
        line++;
        double lon, lat;
        const wchar_t* latEnd = nullptr;
        const wchar_t* why = SearchSkipReason(piece, &lon, &lat, &latEnd);
        if (why != nullptr) {
            counts.skipped++;
            stopped = !Report(sink, context, inName, line, std::wstring(L"skipped by the search: ") + why);
            continue;
        }
        if (std::fabs(lat) > 90 || std::fabs(lon) > 180) {
            counts.skipped++;
            stopped = !Report(sink, context, inName, line,
                              L"left out: position outside -180..180 / -90..90, which no GPX point can hold");
            continue;
        }
        if (lon == 180)
            lon = -180;   // one meridian; GPX takes it as -180
        std::wstring point = route ? L"    <rtept" : L"  <wpt";
        point += L" lat=\"" + GpxDegrees(lat) + L"\" lon=\"" + GpxDegrees(lon) + L"\">";
        const std::wstring name = NameAfter(latEnd);
        if (!name.empty())
            point += L"<name>" + XmlText(name) + L"</name>";
        point += route ? L"</rtept>\n" : L"</wpt>\n";
        TextWrite(&w, point.c_str());
        counts.points++;
    }
    if (route)
        TextWrite(&w, L"  </rte>\n");
    TextWrite(&w, L"</gpx>\n");
    counts.read = !TextReadFailed(reader.get()) && !stopped;
    TextClose(reader.get());
    const bool closed = TextCloseWrite(&w);
    if (!counts.read || !closed || !ReplaceFile(part, out)) {
        RemoveFileWide(part.c_str());
        if (!counts.read && !stopped)
            Report(sink, context, inName, 0, L"cannot read it: a read failed part way");
        else if (counts.read)
            Report(sink, context, out, 0, L"cannot write it (a full disk?); left as it was");
        counts.read = counts.read && closed;
        return counts;
    }
    counts.written = true;
    return counts;
}
