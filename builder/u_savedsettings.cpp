#include "u_savedsettings.h"

#include <vector>

SettingsKey::~SettingsKey() {
    if (key_) RegCloseKey(key_);
}

bool SettingsKey::Open() {
    return RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Corvane\\Quillet", 0, nullptr, 0,
                           KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr) == ERROR_SUCCESS;
}

bool SettingsKey::ReadText(const char* name, std::string& text) const {
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size);
    if (rc == ERROR_FILE_NOT_FOUND) {
        text.clear();
        return true;
    }
    if (rc != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return false;
    std::vector<char> data(size + 1, '\0');
    if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS)
        return false;
    text = data.data();
    return true;
}

bool SettingsKey::ReadNumber(const char* name, DWORD& number) const {
    DWORD type = 0, size = sizeof(number);
    return RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&number), &size) == ERROR_SUCCESS &&
           type == REG_DWORD && size == sizeof(number);
}

bool SettingsKey::WriteText(const char* name, const std::string& text) const {
    return RegSetValueExA(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1)) == ERROR_SUCCESS;
}

bool SettingsKey::WriteNumber(const char* name, DWORD number) const {
    return RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number)) ==
           ERROR_SUCCESS;
}

void SaveSettings(const BuildSettings& s) {
    SettingsKey key;
    if (!key.Open()) return;
    key.WriteText("Source", s.Source);
    key.WriteText("Target", s.Target);
    key.WriteText("Icon", s.Icon);
    key.WriteNumber("ExtractionMode", s.ExtractionMode);
    key.WriteText("ExecutableFile", s.ExecutableFile);
    key.WriteText("CmdParameters", s.CmdParameters);
    key.WriteNumber("ExtractionFolder", s.ExtractionFolder);
    key.WriteText("CustomFolder", s.CustomFolder);
    key.WriteNumber("OpenFolder", s.OpenFolder ? 1 : 0);
    key.WriteNumber("WorkingDirectory", s.WorkingDirectory);
    key.WriteNumber("DeleteMode", s.DeleteMode);
    key.WriteNumber("OneInstance", s.OneInstance ? 1 : 0);
    key.WriteNumber("SilentMode", s.SilentMode ? 1 : 0);
    key.WriteNumber("SelfDeleteMode", s.SelfDeleteMode ? 1 : 0);
    key.WriteNumber("UACAutoElevation", s.UACAutoElevation);
    key.WriteNumber("OverwriteMode", s.OverwriteMode);
}
