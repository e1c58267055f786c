#include "u_cmdlinegen.h"

namespace {

std::wstring TrimText(const std::wstring& text) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] <= 32) ++b;
    while (e > b && text[e - 1] <= 32) --e;
    return text.substr(b, e - b);
}

}  // namespace

void QuoteParameter(std::wstring& out, const std::wstring& value) {
    std::wstring v = TrimText(value);
    if (v.empty()) return;
    std::wstring escaped;
    for (wchar_t c : v) {
        if (c == L'"') escaped += L'\\';
        escaped += c;
    }
    if (escaped.find(L' ') != std::wstring::npos) escaped = L"\"" + escaped + L"\"";
    out += escaped + L" ";
}

std::wstring ComposeCommandLine(const CommandLinePieces& pieces) {
    std::wstring out;
    QuoteParameter(out, pieces.program);
    for (const wchar_t* name : pieces.switches) out += std::wstring(L"-") + name + L" ";
    for (const std::wstring& value : pieces.values) QuoteParameter(out, value);
    return TrimText(out);
}
