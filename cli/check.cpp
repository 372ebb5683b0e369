#include "cli/check.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>
#include <vector>

#include "cli/positions.h"
#include "search/poiline.h"
#include "text/cp1252.h"
#include "text/fileio.h"
#include "text/utf8.h"
#include "text/wtext.h"

namespace {

// Characters in a piece, as a user counts them: a surrogate pair is one.
long CountCharacters(const wchar_t* text, size_t n)
{
    long count = 0;
    for (size_t i = 0; i < n; i++)
        count += !(sizeof(wchar_t) == 2 && IsLowSurrogate((uint32_t)text[i]));
    return count;
}

}  // namespace

bool ReportAt(CheckSink sink, void* context, const std::wstring& name, long line, const std::wstring& message)
{
    return sink(context, name + (line > 0 ? L":" + std::to_wstring(line) : L"") + L": " + message + L"\n");
}

const wchar_t* SkipReasonWords(PoiLineVerdict verdict)
{
    switch (verdict) {
    case kPoiPosition:
        break;
    case kPoiEmpty:
        return L"empty line";
    case kPoiNoLongitude:
        return L"no number where the longitude should be";
    case kPoiJoinedMark:
        return L"a byte order mark inside the file (files joined?) stands before the longitude";
    case kPoiNothingAfterLongitude:
        return L"nothing after the longitude";
    case kPoiNoLatitude:
        return L"no latitude after the longitude and one separator";
    case kPoiZeroZero:
        return L"position 0,0 (the mark of no position)";
    case kPoiNotFinite:
        return L"not a finite number, never listed";
    case kPoiNoDistance:
        return L"a number too large to give a distance, never listed";
    }
    return nullptr;
}

namespace {

class Checker {
public:
    Checker(const std::wstring& name, bool quiet, unsigned findings, CheckSink sink, void* context,
            CheckCounts* counts)
        : name_(name), quiet_(quiet), findings_(findings), sink_(sink), context_(context), counts_(counts)
    {
    }

    // One piece as the reader gives it, with what the reader knows of it;
    // the position rule's verdict on it, its position in *at, and its line.
    PoiLineVerdict Piece(const wchar_t* text, const TextPieceFacts& facts, PoiPosition* at, long* line)
    {
        const size_t n = facts.length;
        const bool first = piecesOfLine_ == 0;
        *line = line_;
        counts_->entries++;
        const PoiLineVerdict verdict = ReadPoiLine(text, at);
        if (first) {
            Classify(verdict, *at);
        } else if (verdict == kPoiPosition) {
            // The search ranks every list entry: this one too.
            counts_->usable++;
            Finding(kFindLaterPiece, L"part " + std::to_wstring(piecesOfLine_ + 1) +
                    L" of this long line reads as a position of its own and shows as a waypoint");
        }
        if (segmentAtNextPiece_) {
            segmentAtNextPiece_ = false;
            segmentSeen_ = true;   // the search ranks it as this piece
        }
        nulsInLine_ += facts.nuls;
        // A piece of printable text (the reader tells) has nothing to note
        // character by character.
        if (facts.plain && !inSegment_ && pending_.count == 0)
            counts_->nonAscii = counts_->nonAscii || facts.beyondAscii;
        else
            CheckCharacters(text, n);
        piecesOfLine_++;
        const bool endsLine = n > 0 && text[n - 1] == L'\n';
        lastPieceOnlyLineFeed_ = n == 1 && endsLine;
        charsOfLine_ += CountCharacters(text, endsLine ? n - 1 : n);
        if (endsLine)
            EndLine();
        return verdict;
    }

    // The end of the file: a last line without its line feed is a line;
    // trailingNuls NUL characters came after it.
    void End(long long trailingNuls)
    {
        // A sequence cut off by the end of the file: the byte that opens it.
        if (pending_.count > 0)
            BadByte(pending_.bytes[0]);
        if (!keys_.empty()) {
            counts_->duplicates = (long)(keys_.size() - CountDistinctPositions(keys_));
            keys_.clear();
        }
        if (piecesOfLine_ > 0)
            EndLine();
        if (counts_->encoding == kEncodingCp1252 && counts_->garbledLines > 0 && badByteLine_ > 0) {
            wchar_t buf[240];
            std::swprintf(buf, CountOf(buf),
                          L"byte 0x%02X is not UTF-8, so the whole file reads as Windows-1252: the UTF-8 text "
                          L"on %ld line%ls (the first is line %ld) shows garbled, \"\u00c3\u00bc\" for \"\u00fc\"",
                          badByte_, counts_->garbledLines, counts_->garbledLines == 1 ? L"" : L"s", firstGarbledLine_);
            FindingAt(kFindGarbled, badByteLine_, buf);
        }
        if (trailingNuls > 0) {
            counts_->trailingNuls = trailingNuls;
            FindingAt(kFindTrailingNul, line_, std::to_wstring(trailingNuls) + L" NUL character" + (trailingNuls == 1 ? L"" : L"s") +
                                 L" after the last line: the end of the file is zero-filled (an interrupted "
                                 L"write?), and what stood there is lost");
        }
    }

    long Line() const { return line_; }
    bool Stopped() const { return stopped_; }

private:
    void FindingAt(CheckFinding kind, long line, const std::wstring& message)
    {
        if (!quiet_ && !stopped_ && (findings_ & kind) != 0)
            stopped_ = !sink_(context_, name_ + L":" + std::to_wstring(line) + L": " + message + L"\n");
    }
    void Finding(CheckFinding kind, const std::wstring& message) { FindingAt(kind, line_, message); }

    void Skipped(const std::wstring& why)
    {
        counts_->skipped++;
        Finding(kFindSkipped, L"skipped by the search: " + why);
    }

    // The search's own rule: the longitude at the start, the latitude one
    // character after its end, 0,0 taken for no position, and a position
    // ranked only when it has a distance.
    void Classify(PoiLineVerdict verdict, const PoiPosition& at)
    {
        if (verdict != kPoiPosition) {
            if (verdict == kPoiJoinedMark)
                counts_->joinMarks++;
            Skipped(SkipReasonWords(verdict));
            return;
        }
        counts_->usable++;
        double lon = at.lon, lat = at.lat;
        if (std::fabs(lat) > 90 || std::fabs(lon) > 180) {
            counts_->outOfRange++;
            wchar_t buf[160];
            std::swprintf(buf, 160, L"position %g,%g outside -180..180 / -90..90%ls", lon, lat,
                          std::fabs(lat) > 90 && std::fabs(lon) <= 90 ? L" (latitude first?)" : L"");
            Finding(kFindOutOfRange, buf);
        }
        lon += 0.0;   // -0 and 0 are one place
        lat += 0.0;
        if (quiet_) {
            // Only the count is reported: counted at the end.
            PositionKey key;
            std::memcpy(&key.lon, &lon, 8);
            std::memcpy(&key.lat, &lat, 8);
            keys_.push_back(key);
            return;
        }
        const long first = positions_.FirstLine(lon, lat, line_);
        if (first != 0) {
            counts_->duplicates++;
            Finding(kFindDuplicate, L"same position as line " + std::to_wstring(first));
        }
    }

    // Character by character: line ends of CR alone and the positions they
    // hide, characters the list shows only as a box or a replacement mark,
    // and, in a file read as Windows-1252, text that was UTF-8.
    void CheckCharacters(const wchar_t* text, size_t n)
    {
        const bool cp1252 = counts_->encoding == kEncodingCp1252;
        for (size_t i = 0; i < n; i++) {
            // Most characters are printable ASCII with nothing to note.
            if (!inSegment_ && pending_.count == 0) {
                while ((unsigned)text[i] - 0x20u < 0x5Fu)   // text[n] is NUL
                    i++;
                if (i == n)
                    break;
            }
            const unsigned u = (unsigned)text[i];
            counts_->nonAscii = counts_->nonAscii || u > 0x7F;
            wideInLine_ = wideInLine_ || u > 0xFFFF || IsHighSurrogate(u);
            if (cp1252)
                ScanUtf8(u);
            if (u == L'\r') {
                // The reader has made every CR LF one line feed: this CR ends
                // a line for its writer, not for the device.
                crInLine_++;
                EndSegment();
                inSegment_ = true;
                segmentLen_ = 0;
                segmentAtNextPiece_ = i + 1 == n;
                // After nothing but white space, which the number reader
                // passes over (CR included), the text is the entry's own
                // position: the search sees it.
                segmentSeen_ = OnlyWhiteSpace(text, i);
                continue;
            }
            if (inSegment_ && u != L'\n' && segmentLen_ + 1 < kTextLen)
                segment_[segmentLen_++] = text[i];
            if (unshowableInLine_)
                continue;
            const bool control = (u < 0x20 && u != L'\t' && u != L'\n') || (u >= 0x7F && u < 0xA0);
            if (u == 0xFFFD || control) {
                counts_->unshowable++;
                unshowableInLine_ = true;
                wchar_t buf[120];
                std::swprintf(buf, 120, L"character U+%04X at column %ld cannot be shown in the list", u,
                              charsOfLine_ + CountCharacters(text, i) + 1);
                Finding(kFindUnshowable, buf);
            }
        }
    }

    // True when text[0..n) is white space the number reader passes over.
    static bool OnlyWhiteSpace(const wchar_t* text, size_t n)
    {
        for (size_t k = 0; k < n; k++)
            if (!(text[k] == L' ' || (text[k] >= L'\t' && text[k] <= L'\r')))
                return false;
        return true;
    }

    // A position that follows a lone CR is seen by the search only where
    // it opens a list entry.
    void EndSegment()
    {
        if (!inSegment_)
            return;
        segment_[segmentLen_] = L'\0';
        if (!segmentSeen_ && HoldsPosition(segment_))
            hiddenInLine_++;
        inSegment_ = false;
        segmentSeen_ = false;
        segmentAtNextPiece_ = false;
    }

    // The bytes of a Windows-1252 file, as UTF-8 would read them.
    void ScanUtf8(unsigned c)
    {
        const int byte = Cp1252Byte(c);
        if (byte < 0x80 && pending_.count == 0)
            return;
        unsigned char first;
        const int got = Utf8Feed(&pending_, (unsigned char)byte, &first);
        if (got > 1)
            utf8InLine_ = true;
        else if (got < 0)
            BadByte(first);
    }

    void BadByte(unsigned char byte)
    {
        if (badByteLine_ == 0) {
            badByteLine_ = line_;
            badByte_ = byte;
        }
    }

    void EndLine()
    {
        EndSegment();
        if (piecesOfLine_ > 1) {
            counts_->longLines++;
            const wchar_t* why = lastPieceOnlyLineFeed_ ? L", the last only its line feed"
                                 : wideInLine_ ? L" (an entry holds 1023 UTF-16 units; a character beyond "
                                                 L"U+FFFF takes two)"
                                               : L" (an entry holds 1023)";
            Finding(kFindLongLine, L"line of " + std::to_wstring(charsOfLine_) + L" characters: it shows as " +
                    std::to_wstring(piecesOfLine_) + L" list entries" + why);
        }
        if (crInLine_ > 0) {
            counts_->loneCrLines++;
            counts_->hiddenPositions += hiddenInLine_;
            const std::wstring crs = std::to_wstring(crInLine_) + L" line end" + (crInLine_ == 1 ? L"" : L"s") +
                                     L" of CR alone";
            if (hiddenInLine_ > 0)
                Finding(kFindLoneCr, crs + L" (an older Mac program's): the device reads these " +
                                         std::to_wstring(crInLine_ + 1) + L" lines as one, and the search never sees " +
                                         std::to_wstring(hiddenInLine_) + L" position" +
                                         (hiddenInLine_ == 1 ? L"" : L"s") + L" in them");
            else
                Finding(kFindLoneCr, crs + L" in this line: the list shows " + (crInLine_ == 1 ? L"it" : L"them") +
                                         L" as a box, and no position lies behind " +
                                         (crInLine_ == 1 ? L"it" : L"them"));
        }
        if (nulsInLine_ > 0) {
            counts_->nulLines++;
            Finding(kFindNul, std::to_wstring(nulsInLine_) + L" NUL character" + (nulsInLine_ == 1 ? L"" : L"s") +
                    L" dropped from this line" +
                    (counts_->encoding == kEncodingCp1252 || counts_->encoding == kEncodingUtf8
                         ? L" (UTF-16 without its byte order mark?)"
                         : L""));
        }
        if (utf8InLine_) {
            if (counts_->garbledLines == 0)
                firstGarbledLine_ = line_;
            counts_->garbledLines++;
        }
        counts_->lines++;
        line_++;
        piecesOfLine_ = 0;
        charsOfLine_ = 0;
        unshowableInLine_ = false;
        crInLine_ = 0;
        hiddenInLine_ = 0;
        nulsInLine_ = 0;
        utf8InLine_ = false;
        wideInLine_ = false;
    }

    const std::wstring& name_;
    bool quiet_;
    unsigned findings_;
    CheckSink sink_;
    void* context_;
    CheckCounts* counts_;
    bool stopped_ = false;
    long line_ = 1;
    long piecesOfLine_ = 0;
    long charsOfLine_ = 0;
    bool lastPieceOnlyLineFeed_ = false;
    bool unshowableInLine_ = false;
    bool wideInLine_ = false;
    long crInLine_ = 0;
    long hiddenInLine_ = 0;
    long long nulsInLine_ = 0;
    // The text after the last lone CR, as far as a list entry would hold it.
    Text segment_;
    size_t segmentLen_ = 0;
    bool inSegment_ = false;
    bool segmentSeen_ = false;
    bool segmentAtNextPiece_ = false;
    // UTF-8 read through Windows-1252.
    Utf8Pending pending_ = {};
    bool utf8InLine_ = false;
    long badByteLine_ = 0;
    unsigned badByte_ = 0;
    long firstGarbledLine_ = 0;
    PositionTable positions_;
    std::vector<PositionKey> keys_;
};

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
        {c.loneCrLines, L"line with line ends of CR alone", L"lines with line ends of CR alone"},
        {c.hiddenPositions, L"position hidden by them", L"positions hidden by them"},
        {c.outOfRange, L"out of range", L"out of range"},
        {c.longLines, L"long line", L"long lines"},
        {c.duplicates, L"duplicate", L"duplicates"},
        {c.unshowable, L"line with characters the list cannot show", L"lines with characters the list cannot show"},
        {c.garbledLines, L"line of UTF-8 shown garbled", L"lines of UTF-8 shown garbled"},
        {c.nulLines, L"line with NUL characters dropped", L"lines with NUL characters dropped"},
        {c.joinMarks, L"byte order mark inside the file", L"byte order marks inside the file"},
        {(long)c.trailingNuls, L"NUL character after the last line", L"NUL characters after the last line"},
    };
    for (const auto& p : parts)
        if (p.n > 0)
            extra += (extra.empty() ? L"" : L", ") + Count(p.n, p.one, p.many);
    return s + L"; " + (extra.empty() ? L"nothing to report" : extra) + L"\n";
}

const wchar_t* WhyNotOpen(PathKind kind)
{
    switch (kind) {
    case kPathMissing:
        return L"no such file";
    case kPathFolder:
        return L"it is a folder";
    case kPathNotRegular:
        return L"not a regular file (a pipe or a device)";
    case kPathFile:
        break;
    case kPathLinkLoop:
        return L"its links lead round in a circle";
    case kPathNoAccess:
        return L"a folder on its way may not be entered";
    case kPathNameTooLong:
        return L"the name is too long";
    }
    return L"no permission";
}

bool AppendToString(void* context, const std::wstring& line)
{
    *static_cast<std::wstring*>(context) += line;
    return true;
}

}  // namespace

struct CheckFeed {
    CheckCounts counts;
    const TextReader* reader;
    std::unique_ptr<Checker> checker;
};

namespace {

CheckFeedPtr MakeFeed(const std::wstring& name, bool quiet, unsigned findings, CheckSink sink, void* context,
                      const TextReader* reader)
{
    CheckFeedPtr feed(new CheckFeed(), [](CheckFeed* f) { delete f; });
    feed->counts = CheckCounts{};
    feed->counts.byteOrderMark = TextHasByteOrderMark(reader);
    feed->counts.encoding = TextEncodingOf(reader);
    feed->reader = reader;
    feed->checker = std::make_unique<Checker>(name, quiet, findings, sink, context, &feed->counts);
    return feed;
}

}  // namespace

CheckFeedPtr BeginCheckFeed(const std::wstring& name, unsigned findings, CheckSink sink, void* context,
                            const TextReader* reader)
{
    return MakeFeed(name, false, findings, sink, context, reader);
}

CheckedPiece FeedCheck(CheckFeed* feed, const wchar_t* piece)
{
    // Windows-1252 from where a file read on trust proves to be so.
    feed->counts.encoding = TextEncodingOf(feed->reader);
    CheckedPiece p;
    p.verdict = feed->checker->Piece(piece, TextLastPiece(feed->reader), &p.at, &p.line);
    return p;
}

bool CheckFeedStopped(const CheckFeed* feed)
{
    return feed->checker->Stopped();
}

const CheckCounts& EndCheckFeed(CheckFeed* feed)
{
    feed->counts.encoding = TextEncodingOf(feed->reader);
    if (!feed->checker->Stopped())
        feed->checker->End(TextLastPiece(feed->reader).nuls);
    feed->counts.stopped = feed->checker->Stopped();
    return feed->counts;
}

CheckCounts CheckPoiFile(const std::wstring& path, const std::wstring& name, bool quiet, CheckSink sink,
                         void* context, unsigned findings)
{
    auto reader = std::make_unique<TextReader>();
    // Findings are printed as they are found; only a quiet check, which
    // prints the counts at the end, can start again when the file read on
    // trust as UTF-8 proves to be Windows-1252.
    if (!(quiet ? TextOpenReadLazily : TextOpenRead)(reader.get(), path.c_str())) {
        CheckCounts counts = {};
        counts.stopped = !sink(context, name + L": cannot read: " + WhyNotOpen(KindOfPath(path.c_str())) + L"\n");
        return counts;
    }
    CheckFeedPtr feed(nullptr, nullptr);
    do {
        feed = MakeFeed(name, quiet, findings, sink, context, reader.get());
        Text piece;
        while (!CheckFeedStopped(feed.get()) && TextReadLine(reader.get(), piece, kTextLen))
            FeedCheck(feed.get(), piece);
    } while (!CheckFeedStopped(feed.get()) && TextGuessFailed(reader.get()) && TextReadAgain(reader.get()));
    CheckCounts counts = EndCheckFeed(feed.get());
    const bool failed = TextReadFailed(reader.get()), shrank = TextFileShrank(reader.get());
    TextClose(reader.get());
    if (counts.stopped)
        return counts;
    if (failed) {
        counts.stopped = !sink(context, name + L": cannot read: " +
                                            (shrank ? L"the file shrank while it was read, after line "
                                                    : L"a read failed after line ") +
                                            std::to_wstring(feed->checker->Line() - 1) + L"\n");
        return counts;
    }
    counts.readable = true;
    counts.stopped = (findings & kFindSummary) != 0 && !sink(context, Summary(name, counts));
    return counts;
}

CheckCounts CheckPoiFile(const std::wstring& path, const std::wstring& name, bool quiet,
                         std::wstring* report)
{
    return CheckPoiFile(path, name, quiet, AppendToString, report);
}

bool CheckFoundLoss(const CheckCounts& c)
{
    return !c.readable || c.skipped > 0 || c.hiddenPositions > 0 || c.trailingNuls > 0;
}
