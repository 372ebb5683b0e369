#include "text/textwrite.h"

#include <cstdint>
#include <cstring>

#include "text/fileio.h"
#include "text/utf8.h"

namespace {

void DrainPending(TextWriter* w)
{
    if (w->pendingBytes > 0 && fwrite(w->pending, 1, w->pendingBytes, w->file) != w->pendingBytes)
        w->failed = true;
    w->pendingBytes = 0;
}

void PutBytes(TextWriter* w, const unsigned char* bytes, size_t n)
{
    if (w->pendingBytes + n > sizeof w->pending)
        DrainPending(w);
    for (size_t i = 0; i < n; i++)
        w->pending[w->pendingBytes++] = bytes[i];
}

void PutChar(TextWriter* w, uint32_t c)
{
    unsigned char b[4];
    if (c == L'\n' && w->crlf) {
        const unsigned char crlf[2] = {'\r', '\n'};
        PutBytes(w, crlf, 2);
        return;
    }
    if (w->encoding == kEncodingCp1252) {
        int byte = Cp1252Byte(c);
        b[0] = (unsigned char)(byte < 0 ? '?' : byte);
        PutBytes(w, b, 1);
        return;
    }
    if (sizeof(wchar_t) == 4 && c >= 0xDC80 && c <= 0xDCFF) {
        // A byte that was no character where it came from (a file name in
        // another character set) goes out as it came in.
        b[0] = (unsigned char)(c - 0xDC00);
        PutBytes(w, b, 1);
        return;
    }
    if (IsHighSurrogate(c) || IsLowSurrogate(c))
        c = 0xFFFD;   // half a surrogate pair is no character
    if (c < 0x80) {
        b[0] = (unsigned char)c;
        PutBytes(w, b, 1);
    } else if (c < 0x800) {
        b[0] = (unsigned char)(0xC0 | (c >> 6));
        b[1] = (unsigned char)(0x80 | (c & 0x3F));
        PutBytes(w, b, 2);
    } else if (c < 0x10000) {
        b[0] = (unsigned char)(0xE0 | (c >> 12));
        b[1] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
        b[2] = (unsigned char)(0x80 | (c & 0x3F));
        PutBytes(w, b, 3);
    } else {
        b[0] = (unsigned char)(0xF0 | (c >> 18));
        b[1] = (unsigned char)(0x80 | ((c >> 12) & 0x3F));
        b[2] = (unsigned char)(0x80 | ((c >> 6) & 0x3F));
        b[3] = (unsigned char)(0x80 | (c & 0x3F));
        PutBytes(w, b, 4);
    }
}

void FlushPendingHigh(TextWriter* w)
{
    if (w->pendingHigh != 0) {
        PutChar(w, 0xFFFD);
        w->pendingHigh = 0;
    }
}

}  // namespace

bool TextOpenWrite(TextWriter* w, const wchar_t* path, TextEncoding encoding)
{
    w->encoding = encoding == kEncodingCp1252 ? kEncodingCp1252 : kEncodingUtf8;
    w->failed = false;
    w->pendingHigh = 0;
    w->crlf = true;
    w->pendingBytes = 0;
    w->file = OpenFileWide(path, "wb");
    if (w->file == nullptr)
        return false;
    if (w->encoding == kEncodingUtf8) {
        const unsigned char bom[3] = {0xEF, 0xBB, 0xBF};
        PutBytes(w, bom, 3);
    }
    return true;
}

void TextAttachWrite(TextWriter* w, FILE* stream)
{
    w->file = stream;
    w->pendingBytes = 0;
    w->encoding = kEncodingUtf8;
    w->failed = false;
    w->pendingHigh = 0;
    w->crlf = false;
}

void TextAttachFile(TextWriter* w, FILE* stream, TextEncoding encoding)
{
    TextAttachWrite(w, stream);
    w->encoding = encoding == kEncodingCp1252 ? kEncodingCp1252 : kEncodingUtf8;
    w->crlf = true;
    if (w->encoding == kEncodingUtf8) {
        const unsigned char bom[3] = {0xEF, 0xBB, 0xBF};
        PutBytes(w, bom, 3);
    }
}

bool TextRewriteAsCp1252(FILE* f, long long* size)
{
    // Blocks read ahead of where they are written back; a sequence cut by
    // the end of a block waits for the next.
    static unsigned char in[64 * 1024 + 4], out[64 * 1024 + 4];
    long long readAt = 3, writeAt = 0;   // past the byte order mark
    size_t carried = 0;
    for (;;) {
        if (std::fflush(f) != 0 || std::fseek(f, (long)readAt, SEEK_SET) != 0)
            return false;
        const size_t got = std::fread(in + carried, 1, sizeof in - 4 - carried, f);
        if (std::ferror(f))
            return false;
        readAt += (long long)got;
        const size_t avail = carried + got;
        size_t i = 0, n = 0;
        while (i < avail) {
            // Most of it is ASCII, the same bytes in both.
            while (i < avail && in[i] < 0x80)
                out[n++] = in[i++];
            if (i == avail)
                break;
            uint32_t cp;
            int len = Utf8SequenceAt(in + i, avail - i, &cp);
            if (len == 0 && got > 0)
                break;   // cut off: the rest comes with the next block
            if (len <= 0) {
                cp = in[i];
                len = 1;
            }
            const int byte = Cp1252Byte(cp);
            out[n++] = (unsigned char)(byte < 0 ? '?' : byte);
            i += (size_t)len;
        }
        carried = avail - i;
        std::memmove(in, in + i, carried);
        if (n > 0 && (std::fseek(f, (long)writeAt, SEEK_SET) != 0 || std::fwrite(out, 1, n, f) != n))
            return false;
        writeAt += (long long)n;
        if (got == 0)
            break;
    }
    *size = writeAt;
    return std::fflush(f) == 0;
}

void TextWrite(TextWriter* w, const wchar_t* text)
{
    if (w->file == nullptr)
        return;
    for (; *text != L'\0'; text++) {
        uint32_t c = (uint32_t)*text;
        if (sizeof(wchar_t) == 2 && IsLowSurrogate(c) && w->pendingHigh != 0) {
            // A pair may arrive split between two writes.
            c = JoinSurrogates((uint32_t)w->pendingHigh, c);
            w->pendingHigh = 0;
            PutChar(w, c);
            continue;
        }
        FlushPendingHigh(w);
        if (sizeof(wchar_t) == 2 && IsHighSurrogate(c)) {
            w->pendingHigh = (wchar_t)c;
            continue;
        }
        PutChar(w, c);
    }
}

bool TextFlush(TextWriter* w)
{
    if (w->file == nullptr)
        return false;
    FlushPendingHigh(w);
    DrainPending(w);
    if (fflush(w->file) != 0 || ferror(w->file))
        w->failed = true;
    return !w->failed;
}

bool TextCloseWrite(TextWriter* w)
{
    if (w->file == nullptr)
        return false;
    TextFlush(w);   // a failure stays recorded in w->failed
    if (fclose(w->file) != 0)
        w->failed = true;
    w->file = nullptr;
    return !w->failed;
}
