// Starting the programs under test and watching their windows, with bounded waits.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

// Folder of the running test program, which holds every program of the build; ends in '\'.
std::string BinDir();
std::string BinPath(const char* program);

// A fresh empty folder under the temporary folder; removed with its content by the destructor.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::string& Path() const { return path_; }  // ends in '\'
    std::string operator/(const std::string& name) const { return path_ + name; }
    std::vector<std::string> List() const;  // names of the entries at the top level

private:
    std::string path_;
};

// Deletes a folder with everything in it.
void RemoveTree(const std::string& dir);

void WriteFileBytes(const std::string& path, const std::string& bytes);
std::string ReadFileBytes(const std::string& path);

class Process {
public:
    // Starts the command line as given (the program name must be part of it).
    explicit Process(const std::string& cmdLine, const char* workDir = nullptr);
    // The same through CreateProcessW, for command lines outside the code page.
    explicit Process(const std::wstring& cmdLine, const wchar_t* workDir = nullptr);
    ~Process();  // kills a process that is still running
    DWORD Id() const { return pid_; }
    bool Started() const { return process_ != nullptr; }
    // Waits at most ms; true when the process ended. exitCode gets the whole 32-bit code.
    bool Wait(DWORD ms, DWORD* exitCode = nullptr);
    // Waits at most ms until the program waits for input with none pending (its windows are up
    // and what they posted themselves is handled); true when it does.
    bool WaitUntilIdle(DWORD ms);
    void Kill();

private:
    void Adopt(BOOL started, const PROCESS_INFORMATION& pi);
    HANDLE process_ = nullptr;
    DWORD pid_ = 0;
};

// Polls condition until it holds, at most ms; whether it held.
bool WaitUntil(const std::function<bool()>& condition, DWORD ms);

// Threads of a running process (Toolhelp snapshot); -1 when it cannot be read.
int ThreadCount(DWORD pid);

// Sets an environment variable of this process, inherited by the programs it starts, and
// restores the earlier state when it goes.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value);
    ~ScopedEnv();

private:
    std::string name_, old_;
    bool had_ = false;
};

// Runs a console program and returns its standard output (bounded wait).
std::string RunForOutput(const std::string& cmdLine, DWORD ms, DWORD* exitCode = nullptr);

// Top-level visible windows of a process with the given class (any class when null).
std::vector<HWND> WindowsOf(DWORD pid, const wchar_t* cls = nullptr);
// Waits at most ms for such a window.
HWND WaitForWindow(DWORD pid, const wchar_t* cls, DWORD ms);

std::wstring WindowText(HWND window);
std::wstring ClassName(HWND window);

// A message box as the test reads it.
struct MessageBoxView {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
    std::vector<int> buttons;  // control ids of the push buttons (IDOK, IDYES, IDNO...)
    int defaultButton = 0;     // the button drawn as default (Enter presses it)
    HICON icon = nullptr;      // the icon control's icon (comparable within one process)
};

constexpr const wchar_t* kDialogClass = L"#32770";
MessageBoxView ReadMessageBox(HWND box);
// Reads a box that has just appeared once it is set up: its buttons there and one of them the
// default (at most ms; then as it is).
MessageBoxView ReadMessageBoxWhenReady(HWND box, DWORD ms = 3000);
// Waits at most ms for a message box of the process and reads it when ready (window null when none came).
MessageBoxView WaitForMessageBox(DWORD pid, DWORD ms);
// Presses a button of a message box by its id.
void PressButton(HWND box, int id);

// Waits for a process to end while failing the test for any message box it shows
// (the box is answered with its cancel or default button so nothing blocks). Returns the
// exit code, or a value of 0xDEAD0000 when the process had to be killed.
DWORD ExpectEndsWithoutMessages(Process& process, DWORD ms);
