// Editing the resources of a written SFX file: icon, version information, manifest.
// Each operation is one update transaction, committed only on success.
#pragma once
#include <cstdint>
#include <string>

#include <windows.h>

WORD GetVersionLanguage(const std::string& program);
bool UpdateTargetResource(const std::string& program, LPCSTR type, LPCSTR name, const void* bytes,
                          DWORD size);
bool CopyVersionInfo(const std::string& source, const std::string& target);
bool SetIconFromIco(const std::string& icoFile, const std::string& target);
bool SetIconFromExe(const std::string& source, const std::string& target);
