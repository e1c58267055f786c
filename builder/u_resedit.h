// Editing the resources of a written SFX file: icon, version information, manifest.
// Each operation is one update transaction, committed only on success; every path is in the
// form API calls take (ApiPath).
#pragma once
#include <cstdint>
#include <string>

#include <windows.h>

struct BuildPlan;

WORD GetVersionLanguage(const std::wstring& program);
bool UpdateTargetResource(const std::wstring& program, LPCWSTR type, LPCWSTR name, const void* bytes,
                          DWORD size);
bool CopyVersionInfo(const std::wstring& source, const std::wstring& target);
bool SetIconFromIco(const std::wstring& icoFile, const std::wstring& target);
bool SetIconFromExe(const std::wstring& source, const std::wstring& target);

// The resources of the fresh SFX file (API form) as the plan asks for them, on the Windows NT
// family only: the custom icon (an .ICO file, or a program's icon) or in run mode the program's
// icon; the version information of the program in run mode, or with iconVersionInfo of the custom
// icon's file; the elevation manifest. Each edit may fail silently: the SFX file then keeps the
// extractor's own.
void EditTargetResources(const BuildPlan& plan, bool iconVersionInfo, const std::wstring& file);
