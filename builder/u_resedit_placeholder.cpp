// Placeholder until resource editing lands: every edit reports failure, so an SFX file
// keeps the extractor's own icon and has no version information or manifest.
#include "u_resedit.h"

WORD GetVersionLanguage(const std::string&) { return 0; }
bool UpdateTargetResource(const std::string&, LPCSTR, LPCSTR, const void*, DWORD) { return false; }
bool CopyVersionInfo(const std::string&, const std::string&) { return false; }
bool SetIconFromIco(const std::string&, const std::string&) { return false; }
bool SetIconFromExe(const std::string&, const std::string&) { return false; }
