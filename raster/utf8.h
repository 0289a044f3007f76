#pragma once

struct Utf8Char {
    int code;   // 16-bit code; characters beyond 16 bits come out as a space
    int length; // bytes consumed, at least 1
};

// Decodes one character at `bytes`. `available` is the number of bytes that may be read
// (-1: up to the NUL); a sequence that does not fit or is malformed yields its lead byte
// alone. Continuation bytes are accepted from 0x80 up to and including 0xC0.
Utf8Char DecodeUtf8(const char* bytes, int available = -1);

// True when `text` holds at least one well-formed multi-byte sequence.
bool HasMultibyteUtf8(const char* text);
