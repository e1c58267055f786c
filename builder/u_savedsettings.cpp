#include "u_savedsettings.h"

#include <vector>

SettingsKey::~SettingsKey() {
    if (key_) RegCloseKey(key_);
}

bool SettingsKey::Open() {
    return RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Corvane\\Quillet", 0, nullptr, 0,
                           KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr) == ERROR_SUCCESS;
}

bool SettingsKey::ReadText(const wchar_t* name, std::wstring& text) const {
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExW(key_, name, nullptr, &type, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND) {
        text.clear();
        return true;
    }
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    std::vector<wchar_t> data(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        return false;
    text = data.data();
    return true;
}

bool SettingsKey::ReadNumber(const wchar_t* name, DWORD& number) const {
    DWORD type = 0, size = sizeof(number);
    return RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) == ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof(number);
}

bool SettingsKey::WriteText(const wchar_t* name, const std::wstring& text) const {
    return RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

bool SettingsKey::WriteNumber(const wchar_t* name, DWORD number) const {
    return RegSetValueExW(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number)) ==
           ERROR_SUCCESS;
}

void SaveSettings(const BuildSettings& s) {
    SettingsKey key;
    if (!key.Open()) return;
    key.WriteText(L"Source", s.Source);
    key.WriteText(L"Target", s.Target);
    key.WriteText(L"Icon", s.Icon);
    key.WriteNumber(L"ExtractionMode", s.ExtractionMode);
    key.WriteText(L"ExecutableFile", s.ExecutableFile);
    key.WriteText(L"CmdParameters", s.CmdParameters);
    key.WriteNumber(L"ExtractionFolder", s.ExtractionFolder);
    key.WriteText(L"CustomFolder", s.CustomFolder);
    key.WriteNumber(L"OpenFolder", s.OpenFolder ? 1 : 0);
    key.WriteNumber(L"WorkingDirectory", s.WorkingDirectory);
    key.WriteNumber(L"DeleteMode", s.DeleteMode);
    key.WriteNumber(L"OneInstance", s.OneInstance ? 1 : 0);
    key.WriteNumber(L"SilentMode", s.SilentMode ? 1 : 0);
    key.WriteNumber(L"SelfDeleteMode", s.SelfDeleteMode ? 1 : 0);
    key.WriteNumber(L"UACAutoElevation", s.UACAutoElevation);
    key.WriteNumber(L"OverwriteMode", s.OverwriteMode);
    key.WriteNumber(L"Compact", s.Compact ? 1 : 0);
}
