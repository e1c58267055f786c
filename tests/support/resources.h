// Reading and rewriting the resources of program files, as the tests need it.
#pragma once
#include <string>

#include <windows.h>

// The bytes of one resource of a program file (loaded as data); found tells whether it exists.
std::string ReadResource(const std::string& program, LPCSTR type, LPCSTR name, bool* found = nullptr);

// Copies a program without one resource. Opens the copy dropping every resource and writes
// back all but type/name: a deletion through UpdateResource is not honoured by every loader.
bool CopyWithoutResource(const std::string& from, const std::string& to, LPCSTR type, LPCSTR name);
