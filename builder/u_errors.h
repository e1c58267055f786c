// Failures of file access and compression during a build. They are not handled where they
// occur: they travel up to the windowless start-up or the progress window.
#pragma once
#include <exception>
#include <stdexcept>
#include <string>

class BuildError : public std::runtime_error {
public:
    // kind names the sort of failure ("ReadError"); message is what the user reads.
    BuildError(const char* kind, std::wstring message)
        : std::runtime_error(kind), kind_(kind), message_(std::move(message)) {}
    const char* Kind() const { return kind_; }
    const std::wstring& Message() const { return message_; }

private:
    const char* kind_;
    std::wstring message_;
};

// A failure of a Win32 call on a file: the message names the file and the system's text
// for the last error.
[[noreturn]] void ThrowFileError(const char* kind, const wchar_t* what, const std::wstring& path);
// The system's text for an error code, without the trailing line break.
std::wstring SystemMessage(unsigned long code);

// What any exception that ends a build says: a BuildError its kind and message; running out of
// memory "OutOfMemory" and the system's text for it; anything else "InternalError" and its text.
struct ErrorReport {
    std::string kind;
    std::wstring message;
};
ErrorReport DescribeException(std::exception_ptr error);
