// The builder's four message boxes and the fixed English texts of its dialogs.
// Texts are wide so that Korean reads correctly whatever the system code page is.
#pragma once
#include <exception>
#include <string>

#include <windows.h>

#include "u_paths.h"

// 0-3 message box captions, 4-10 the about box.
extern const wchar_t* const DialogTexts[11];

// The application's title, "Quillet".
extern const wchar_t* const ApplicationTitle;

// The maker's addresses, shown in the main window and the about box.
extern const wchar_t MakerWebAddress[];
extern const wchar_t MakerEmail[];
extern const wchar_t DonationAddress[];

// Appended to the maker's web address in the about box; set once at start-up.
extern std::wstring AboutPageName;

// The window that owns message boxes and dialogs (the main window once it exists).
HWND ApplicationWindow();
void SetApplicationWindow(HWND window);

void ShowErrorMessage(const std::wstring& text);
void ShowInfoMessage(const std::wstring& text);
void ShowWarningMessage(const std::wstring& text);
// An error that escaped a windowless build: error box titled "Application Error".
void ShowApplicationError(const std::wstring& text);
// An error of a build in the window: the application's error box, titled with its name.
void ShowApplicationException(const std::wstring& text);
// Any exception at one of the two places that catch them all: windowless in the "Application
// Error" box as "Kind: message", in the window in the application's error box with its message.
// Never throws; with no memory left even for the text, the box says so in a fixed text.
void ShowException(std::exception_ptr error, bool windowless);
// The about box, modal; a new window on every call.
void ShowAboutBox();
// True only when the user chose Yes; with defaultYes false, No is the default button.
bool AskConfirmation(const std::wstring& text, bool defaultYes);
