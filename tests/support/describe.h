// One line per start-up value, so a child process and the test can be compared as text.
#pragma once
#include <string>

#include <windows.h>

#include "u_settings.h"

// A text of the settings as UTF-8, so any text can be printed and compared.
inline std::string DescribeText(const std::wstring& text) {
    if (text.empty()) return std::string();
    int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(n, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &out[0], n, nullptr, nullptr);
    return out;
}

inline std::string DescribeStartup(const StartupSettings& st) {
    const BuildSettings& s = st.settings;
    const StartupFlags& f = st.flags;
    std::string out;
    auto text = [&out](const char* name, const std::wstring& v) {
        out += std::string(name) + "=[" + DescribeText(v) + "]\n";
    };
    auto code = [&out](const char* name, int v) { out += std::string(name) + "=" + std::to_string(v) + "\n"; };
    text("Source", s.Source);
    text("Target", s.Target);
    text("Icon", s.Icon);
    text("ExecutableFile", s.ExecutableFile);
    text("CmdParameters", s.CmdParameters);
    text("CustomFolder", s.CustomFolder);
    code("ExtractionMode", s.ExtractionMode);
    code("ExtractionFolder", s.ExtractionFolder);
    code("OpenFolder", s.OpenFolder);
    code("OneInstance", s.OneInstance);
    code("SilentMode", s.SilentMode);
    code("SelfDeleteMode", s.SelfDeleteMode);
    code("DeleteMode", s.DeleteMode);
    code("WorkingDirectory", s.WorkingDirectory);
    code("UACAutoElevation", s.UACAutoElevation);
    code("OverwriteMode", s.OverwriteMode);
    code("Compact", s.Compact);
    code("CommandLineComplete", f.CommandLineComplete);
    code("HideWindow", f.HideWindow);
    code("ShowSuccessMessage", f.ShowSuccessMessage);
    code("OverwriteTargetSilently", f.OverwriteTargetSilently);
    code("PositionalCursor", f.PositionalCursor);
    code("IconVersionInfo", f.IconVersionInfo);
    return out;
}
