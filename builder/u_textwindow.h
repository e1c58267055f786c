// The window that the usage window and the command-line generator are: modal over the application
// window, a read-only memo "mcmdline" in Courier New, a Close button "bclose" and, where the
// control table has one, "bcopy" that copies the whole text. Escape closes it.
#pragma once
#include <string>

#include "ui/form.h"

class TextWindow : public ui::Form {
public:
    TextWindow(const wchar_t* cls, int width, int height, const ui::ControlRow* controls, size_t count);
    void Show(const std::wstring& caption, const std::wstring& text);

protected:
    void OnCommand(int id, int code) override;
};
