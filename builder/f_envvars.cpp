#include "f_envvars.h"

#include <windows.h>
#include <commctrl.h>

#include "u_dialogs.h"
#include "ui/form.h"

using namespace ui;

namespace {

// The variable picker: the process environment in a two-column list.
class Tfenvvars : public Form {
public:
    explicit Tfenvvars(const ControlRow* controls, size_t count)
        : Form(L"Tfenvvars", 792, 552, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME, controls, count) {
        keyPreview_ = true;
        closeOnEscape_ = true;
    }
    std::wstring picked;

protected:
    void OnCreate() override {
        SetFont(L"맑은 고딕", -11, HANGUL_CHARSET);
        HWND list = Control("vleenvvars");
        ListView_SetExtendedListViewStyle(list, LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);
        LVCOLUMNW column = {};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = 200;
        column.pszText = const_cast<wchar_t*>(L"변수");
        SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
        column.cx = 571;
        column.pszText = const_cast<wchar_t*>(L"현재 값");
        SendMessageW(list, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
        int row = 0;
        for (const std::wstring& line : FillEnvironmentList()) {
            size_t eq = line.find(L'=');
            std::wstring key = eq == std::wstring::npos ? std::wstring() : line.substr(0, eq);
            std::wstring value = eq == std::wstring::npos ? line : line.substr(eq + 1);
            LVITEMW item = {};
            item.mask = LVIF_TEXT;
            item.iItem = row++;
            item.pszText = &key[0];
            int at = static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
            item.iItem = at;
            item.iSubItem = 1;
            item.pszText = &value[0];
            SendMessageW(list, LVM_SETITEMTEXTW, at, reinterpret_cast<LPARAM>(&item));
        }
        CentreOver(ApplicationWindow());
    }
    void OnShow() override { SetFocus(Control("vleenvvars")); }
    void OnCommand(int id, int code) override {
        if (code == BN_CLICKED && (id == IdOf("bclose") || id == IDCANCEL)) SetModalResult(IDCANCEL);
    }
    bool OnKeyDown(WPARAM key, HWND target) override {
        if (key != VK_RETURN || target != Control("vleenvvars")) return false;
        Choose();
        return true;
    }
    void OnNotify(NMHDR* header) override {
        // A double-click on a data row; the title row is the list's header and is no row.
        if (header->hwndFrom == Control("vleenvvars") && header->code == NM_DBLCLK &&
            reinterpret_cast<NMITEMACTIVATE*>(header)->iItem >= 0)
            Choose();
    }
    LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_CTLCOLORSTATIC && reinterpret_cast<HWND>(lParam) == Control("ltip")) {
            SetTextColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_HOTLIGHT));
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        return Form::OnMessage(message, wParam, lParam);
    }

private:
    void Choose() {
        HWND list = Control("vleenvvars");
        int row = ListView_GetNextItem(list, -1, LVNI_SELECTED);
        if (row < 0) row = ListView_GetNextItem(list, -1, LVNI_FOCUSED);
        wchar_t key[1024] = L"";
        if (row >= 0) {
            LVITEMW item = {};
            item.iSubItem = 0;
            item.pszText = key;
            item.cchTextMax = 1024;
            SendMessageW(list, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
        }
        picked = key;
        SetModalResult(IDOK);
    }
};

std::wstring CaptionOf(HWND window) {
    wchar_t text[256] = L"";
    if (window) GetWindowTextW(window, text, 256);
    return text;
}

}  // namespace

std::vector<std::wstring> FillEnvironmentList() {
    std::vector<std::wstring> lines;
    wchar_t* block = GetEnvironmentStringsW();
    if (!block) return lines;
    for (const wchar_t* p = block; *p; p += lstrlenW(p) + 1) lines.push_back(p);
    FreeEnvironmentStringsW(block);
    for (std::wstring& line : lines) {
        if (line.empty()) continue;
        line.insert(0, L"%");
        size_t eq = line.find(L'=');
        if (eq != std::wstring::npos)
            line.insert(eq, L"%");
        else
            line += L"%";
    }
    return lines;
}

std::wstring PickEnvironmentVariable() {
    const ControlRow controls[] = {
        {"vleenvvars", Kind::List, 8, 8, 777, 505, nullptr, 0},
        {"ltip", Kind::Label, 8, 524, 690, 16,
         L"팁: 변수 이름을 사용자 지정 폴더 편집 줄에 복사하려면 더블클릭을 사용하거나 Enter 키를 누릅니다", 0},
        {"bclose", Kind::DefaultButton, 712, 520, 73, 25, L"닫기", 0},
    };
    Tfenvvars picker(controls, 3);
    if (!picker.Create(ApplicationWindow(), CaptionOf(ApplicationWindow()) + L" - 이 컴퓨터의 환경 변수")) return std::wstring();
    return picker.ShowModal() == IDOK ? picker.picked : std::wstring();
}
