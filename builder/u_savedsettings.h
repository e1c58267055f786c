// The settings saved for the next interactive run: HKEY_CURRENT_USER\Software\Corvane\Quillet.
#pragma once
#include <string>

#include <windows.h>

#include "u_settings.h"

// The key, opened for querying and setting values and created when missing.
class SettingsKey {
public:
    ~SettingsKey();
    bool Open();
    // A string value (REG_SZ or REG_EXPAND_SZ); missing or empty reads as empty text.
    bool ReadText(const wchar_t* name, std::wstring& text) const;
    // A REG_DWORD value.
    bool ReadNumber(const wchar_t* name, DWORD& number) const;
    bool WriteText(const wchar_t* name, const std::wstring& text) const;
    bool WriteNumber(const wchar_t* name, DWORD number) const;

private:
    HKEY key_ = nullptr;
};

// Writes the seventeen values, each on its own; failures are ignored.
void SaveSettings(const BuildSettings& settings);
