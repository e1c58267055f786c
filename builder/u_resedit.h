// Editing the resources of a written SFX file: icon, version information, manifest.
// Each operation is one update transaction, committed only on success.
#pragma once
#include <cstdint>
#include <string>

#include <windows.h>

WORD GetVersionLanguage(const std::wstring& program);
bool UpdateTargetResource(const std::wstring& program, LPCWSTR type, LPCWSTR name, const void* bytes,
                          DWORD size);
bool CopyVersionInfo(const std::wstring& source, const std::wstring& target);
bool SetIconFromIco(const std::wstring& icoFile, const std::wstring& target);
bool SetIconFromExe(const std::wstring& source, const std::wstring& target);
