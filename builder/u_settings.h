// Build settings and the start-up flags read from the command line.
#pragma once
#include <cstdint>
#include <string>

// Every setting of an SFX file (texts in UTF-16); the main window and the registry hold the same members.
struct BuildSettings {
    std::wstring Source;
    std::wstring Target;
    std::wstring Icon;           // .ICO file or program whose icon is copied; empty: default icon
    std::wstring ExecutableFile;  // program inside Source to run after extraction
    std::wstring CmdParameters;
    std::wstring CustomFolder;   // may hold %VARIABLE% references
    uint8_t ExtractionMode = 0;    // 0 extract, 1 extract and run ExecutableFile
    uint8_t ExtractionFolder = 0;  // 0 temp, 1 desktop, 2 documents, 3 current, 4 ask, 5 custom
    uint8_t OpenFolder = 0;
    uint8_t OneInstance = 0;
    uint8_t SilentMode = 0;
    uint8_t SelfDeleteMode = 0;
    uint8_t DeleteMode = 0;        // 0 when finished, 1 at restart, 2 keep
    uint8_t WorkingDirectory = 0;  // 0 extraction folder, 1 SFX file's folder, 2 current
    uint8_t UACAutoElevation = 0;  // 0 none, 1 highest available, 2 administrator
    uint8_t OverwriteMode = 0;     // 0 ask, 1 overwrite all, 2 skip all
    uint8_t Compact = 0;           // 1: the compact form (all files one stream in zstd frames)
};

// Builder-only flags, set once at start-up and passed to what needs them; never stored in an
// SFX file.
struct StartupFlags {
    bool CommandLineComplete = false;
    bool HideWindow = false;
    bool ShowSuccessMessage = true;
    bool OverwriteTargetSilently = false;
    int PositionalCursor = 2;
    // "-iv": with a custom icon, the version information comes from the icon's file too.
    bool IconVersionInfo = false;
    // SOURCE_DATE_EPOCH is set (read by the entry, not from the command line): the InstanceName
    // is derived from the SFX file's other bytes, so the same tree and settings give the same file.
    bool Reproducible = false;
};

struct StartupSettings {
    BuildSettings settings;
    StartupFlags flags;
};

// Reads every switch, then the positional parameters, then completeness.
// cmdLine null: the process's own command line.
StartupSettings ReadStartupSettings(const wchar_t* cmdLine = nullptr);
