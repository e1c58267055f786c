// The extractor's paths: UTF-16 in WCHAR buffers of PathSize characters, the longest path the W
// functions take. Every path the extractor makes or is given comes through here.
#pragma once
#include <windows.h>

const DWORD PathSize = 32768;

// Appends text, cutting it to what fits in size characters (zero included).
void AppendText(WCHAR* out, const WCHAR* text, DWORD size);
// Ends a non-empty path in a backslash (within PathSize).
void AddBackslash(WCHAR* path);
// The full path for a relative or ".." text, against the current folder; false (out empty) when the
// system can't form one within size.
bool ResolvePath(const WCHAR* path, WCHAR* out, DWORD size);
// The form the W functions take beyond MAX_PATH: \\?\C:\... for a drive, \\?\UNC\server\share\...
// for a share. Paths short enough for every function, relative ones and those in a prefixed form
// already are copied unchanged; always: full paths of any length get the form. False (out empty)
// when the result does not fit.
bool LongForm(const WCHAR* full, WCHAR* out, DWORD size, bool always = false);
// LongForm into one of two buffers that the next calls reuse: for handing a path to one call.
const WCHAR* Long(const WCHAR* path);
// Code-page bytes of the container (length bytes) as UTF-16; false (out empty) when they don't
// convert within size.
bool FromCodePage(const char* text, int length, WCHAR* out, DWORD size);
// The same for a zero-terminated text.
bool FromCodePage(const char* text, WCHAR* out, DWORD size);
