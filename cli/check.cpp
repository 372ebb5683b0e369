#include "check.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>
#include <unordered_map>

#include <sys/stat.h>

#include "nearest.h"
#include "wtext.h"

namespace {

struct Position {
    double lon, lat;
    bool operator==(const Position& o) const { return lon == o.lon && lat == o.lat; }
};

struct PositionHash {
    size_t operator()(const Position& p) const
    {
        uint64_t a, b;
        std::memcpy(&a, &p.lon, 8);
        std::memcpy(&b, &p.lat, 8);
        uint64_t h = (a ^ (b * 0x9E3779B97F4A7C15ULL)) * 0xBF58476D1CE4E5B9ULL;
        return (size_t)(h ^ (h >> 31));
    }
};

class Checker {
public:
    Checker(const std::wstring& name, bool quiet, std::wstring* report, CheckCounts* counts)
        : name_(name), quiet_(quiet), report_(report), counts_(counts)
    {
    }

    // One piece as the reader gives it.
    void Piece(const wchar_t* text)
    {
        const bool first = piecesOfLine_ == 0;
        counts_->entries++;
        if (first)
            Classify(text);
        else if (HoldsPosition(text))
            Finding(L"part " + std::to_wstring(piecesOfLine_ + 1) +
                    L" of this long line reads as a position of its own and shows as a waypoint");
        CheckCharacters(text);
        piecesOfLine_++;
        size_t n = std::wcslen(text);
        bool endsLine = n > 0 && text[n - 1] == L'\n';
        charsOfLine_ += (long)(endsLine ? n - 1 : n);
        if (endsLine)
            EndLine();
    }

    // The end of the file: a last line without its line feed is a line.
    void End()
    {
        if (piecesOfLine_ > 0)
            EndLine();
    }

    long Line() const { return line_; }

private:
    void Finding(const std::wstring& message)
    {
        if (!quiet_)
            *report_ += name_ + L":" + std::to_wstring(line_) + L": " + message + L"\n";
    }

    void Skipped(const std::wstring& why)
    {
        counts_->skipped++;
        Finding(L"skipped by the search: " + why);
    }

    // The search's own rule: the longitude at the start, the latitude one
    // character after its end, and 0,0 taken for no position.
    void Classify(const wchar_t* text)
    {
        wchar_t* end;
        const double lon = ParseNumber(text, &end);
        if (end == text) {
            Skipped(text[0] == L'\n' || text[0] == L'\0' ? L"empty line"
                                                         : L"no number where the longitude should be");
            return;
        }
        if (*end == L'\0' || *end == L'\n') {
            Skipped(L"nothing after the longitude");
            return;
        }
        const wchar_t* start = end + 1;
        wchar_t* latEnd;
        const double lat = ParseNumber(start, &latEnd);
        if (latEnd == start) {
            Skipped(L"no latitude after the longitude and one separator");
            return;
        }
        if (lon == 0 && lat == 0) {
            Skipped(L"position 0,0 (the mark of no position)");
            return;
        }
        if (!std::isfinite(lon) || !std::isfinite(lat)) {
            Skipped(L"not a finite number, never listed");
            return;
        }
        counts_->usable++;
        if (std::fabs(lat) > 90 || std::fabs(lon) > 180) {
            counts_->outOfRange++;
            wchar_t buf[160];
            std::swprintf(buf, 160, L"position %g,%g outside -180..180 / -90..90%ls", lon, lat,
                          std::fabs(lat) > 90 && std::fabs(lon) <= 90 ? L" (latitude first?)" : L"");
            Finding(buf);
        }
        const Position p = {lon + 0.0, lat + 0.0};   // -0 and 0 are one place
        auto seen = positions_.emplace(p, line_);
        if (!seen.second) {
            counts_->duplicates++;
            Finding(L"same position as line " + std::to_wstring(seen.first->second));
        }
    }

    // Characters that the list shows only as a box or a replacement mark:
    // broken UTF-16, and bytes that have no character in the code page.
    void CheckCharacters(const wchar_t* text)
    {
        for (const wchar_t* c = text; *c != L'\0'; c++) {
            const unsigned u = (unsigned)*c;
            counts_->nonAscii = counts_->nonAscii || u > 0x7F;
            if (unshowableInLine_)
                continue;
            const bool control = (u < 0x20 && u != L'\t' && u != L'\n') || (u >= 0x7F && u < 0xA0);
            if (u == 0xFFFD || control) {
                counts_->unshowable++;
                unshowableInLine_ = true;
                wchar_t buf[120];
                std::swprintf(buf, 120, L"character U+%04X at column %ld cannot be shown in the list", u,
                              charsOfLine_ + (long)(c - text) + 1);
                Finding(buf);
            }
        }
    }

    void EndLine()
    {
        if (piecesOfLine_ > 1) {
            counts_->longLines++;
            Finding(L"line of " + std::to_wstring(charsOfLine_) + L" characters, longer than " +
                    std::to_wstring(kTextLen - 1) + L": it shows as " + std::to_wstring(piecesOfLine_) +
                    L" list entries");
        }
        counts_->lines++;
        line_++;
        piecesOfLine_ = 0;
        charsOfLine_ = 0;
        unshowableInLine_ = false;
    }

    const std::wstring& name_;
    bool quiet_;
    std::wstring* report_;
    CheckCounts* counts_;
    long line_ = 1;
    long piecesOfLine_ = 0;
    long charsOfLine_ = 0;
    bool unshowableInLine_ = false;
    std::unordered_map<Position, long, PositionHash> positions_;
};

enum PathKind { kPathMissing, kPathFolder, kPathOther };

// What a path names, to tell the user why it does not open.
PathKind KindOfPath(const wchar_t* path)
{
#ifdef _WIN32
    struct _stat st;
    if (_wstat(path, &st) != 0)
        return kPathMissing;
#else
    char narrow[4096];
    std::mbstate_t state{};
    const wchar_t* src = path;
    size_t n = std::wcsrtombs(narrow, &src, sizeof narrow, &state);
    struct stat st;
    if (n == (size_t)-1 || src != nullptr || stat(narrow, &st) != 0)
        return kPathMissing;
#endif
    return (st.st_mode & S_IFMT) == S_IFDIR ? kPathFolder : kPathOther;
}

const wchar_t* EncodingName(const CheckCounts& c)
{
    switch (c.encoding) {
    case kEncodingUtf8:
        if (c.byteOrderMark)
            return L"UTF-8 with byte order mark";
        return c.nonAscii ? L"UTF-8" : L"ASCII";
    case kEncodingUtf16Le:
        return L"UTF-16 LE";
    case kEncodingUtf16Be:
        return L"UTF-16 BE";
    default:
        return L"Windows-1252";
    }
}

std::wstring Count(long n, const wchar_t* one, const wchar_t* many)
{
    return std::to_wstring(n) + L" " + (n == 1 ? one : many);
}

std::wstring Summary(const std::wstring& name, const CheckCounts& c)
{
    std::wstring s = name + L": " + EncodingName(c) + L", " + Count(c.lines, L"line", L"lines") + L", " +
                     Count(c.entries, L"list entry", L"list entries") + L", " +
                     Count(c.usable, L"position", L"positions") + L" for the search";
    std::wstring extra;
    const struct { long n; const wchar_t* one; const wchar_t* many; } parts[] = {
        {c.skipped, L"line skipped", L"lines skipped"},
        {c.outOfRange, L"out of range", L"out of range"},
        {c.longLines, L"long line", L"long lines"},
        {c.duplicates, L"duplicate", L"duplicates"},
        {c.unshowable, L"line with characters the list cannot show", L"lines with characters the list cannot show"},
    };
    for (const auto& p : parts)
        if (p.n > 0)
            extra += (extra.empty() ? L"" : L", ") + Count(p.n, p.one, p.many);
    return s + L"; " + (extra.empty() ? L"nothing to report" : extra) + L"\n";
}

}  // namespace

CheckCounts CheckPoiFile(const std::wstring& path, const std::wstring& name, bool quiet,
                         std::wstring* report)
{
    CheckCounts counts = {};
    auto reader = std::make_unique<TextReader>();
    if (!TextOpenRead(reader.get(), path.c_str())) {
        const PathKind kind = KindOfPath(path.c_str());
        *report += name + (kind == kPathFolder    ? L": cannot read: it is a folder\n"
                           : kind == kPathMissing ? L": cannot read: no such file\n"
                                                  : L": cannot read: no permission\n");
        return counts;
    }
    counts.encoding = reader->encoding;
    counts.byteOrderMark = reader->encoding == kEncodingUtf8 && reader->pos == 3;
    Checker checker(name, quiet, report, &counts);
    Text piece;
    while (TextReadLine(reader.get(), piece, kTextLen))
        checker.Piece(piece);
    checker.End();
    const bool failed = TextReadFailed(reader.get());
    TextClose(reader.get());
    if (failed) {
        *report += name + L": cannot read: a read failed after line " + std::to_wstring(checker.Line() - 1) + L"\n";
        return counts;
    }
    counts.readable = true;
    *report += Summary(name, counts);
    return counts;
}
