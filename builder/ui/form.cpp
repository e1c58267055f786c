#include "form.h"

#include <commctrl.h>

namespace ui {

namespace {

const wchar_t NameProperty[] = L"QuilletName";

void (*g_exceptionHandler)(std::exception_ptr) = nullptr;

struct ClassOf {
    const wchar_t* cls;
    DWORD style;
    DWORD exStyle;
};

ClassOf ClassFor(Kind kind, unsigned flags) {
    DWORD wrap = (flags & WordWrap) ? BS_MULTILINE : 0;
    switch (kind) {
    case Kind::Label: return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
    case Kind::RightLabel: return {L"STATIC", SS_RIGHT | SS_NOPREFIX | SS_PATHELLIPSIS, 0};
    case Kind::Link: return {L"STATIC", SS_LEFT | SS_NOPREFIX | SS_NOTIFY, 0};
    case Kind::Edit: return {L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE};
    case Kind::Memo:
        return {L"EDIT", WS_TABSTOP | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL, WS_EX_CLIENTEDGE};
    case Kind::List:
        return {WC_LISTVIEWW, WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, WS_EX_CLIENTEDGE};
    case Kind::Button: return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0};
    case Kind::DefaultButton: return {L"BUTTON", WS_TABSTOP | BS_DEFPUSHBUTTON, 0};
    case Kind::Radio: return {L"BUTTON", BS_AUTORADIOBUTTON | wrap | ((flags & GroupStart) ? WS_TABSTOP : 0), 0};
    case Kind::Check: return {L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX | wrap, 0};
    case Kind::Group: return {L"BUTTON", BS_GROUPBOX, 0};
    case Kind::Panel: return {L"STATIC", SS_LEFT, 0};
    case Kind::Progress: return {PROGRESS_CLASSW, 0, 0};
    }
    return {L"STATIC", 0, 0};
}

bool IsRadio(const ControlRow& s) { return s.kind == Kind::Radio; }

BOOL CALLBACK CollectEnabled(HWND h, LPARAM p) {
    if (IsWindowVisible(h) && IsWindowEnabled(h)) reinterpret_cast<std::vector<HWND>*>(p)->push_back(h);
    return TRUE;
}

}  // namespace

void SetExceptionHandler(void (*handler)(std::exception_ptr error)) { g_exceptionHandler = handler; }

std::vector<HWND> DisableThreadWindows(HWND except) {
    std::vector<HWND> windows;
    EnumThreadWindows(GetCurrentThreadId(), CollectEnabled, reinterpret_cast<LPARAM>(&windows));
    std::vector<HWND> disabled;
    for (HWND h : windows)
        if (h != except) {
            EnableWindow(h, FALSE);
            disabled.push_back(h);
        }
    return disabled;
}

void EnableWindows(const std::vector<HWND>& windows) {
    for (HWND h : windows)
        if (IsWindow(h)) EnableWindow(h, TRUE);
}

Form::Form(const wchar_t* cls, int width, int height, DWORD style, const ControlRow* controls, size_t count)
    : cls_(cls), width_(width), height_(height), style_(style), rows_(controls), count_(count) {}

Form::~Form() {
    if (window_) DestroyWindow(window_);
    for (HGDIOBJ o : {static_cast<HGDIOBJ>(font_), static_cast<HGDIOBJ>(boldFont_), static_cast<HGDIOBJ>(linkFont_),
                      static_cast<HGDIOBJ>(faceBrush_)})
        if (o) DeleteObject(o);
}

bool Form::Create(HWND owner, const std::wstring& caption) {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW cls{sizeof(cls)};
    if (!GetClassInfoExW(instance, cls_, &cls)) {
        cls.lpfnWndProc = WindowProc;
        cls.hInstance = instance;
        cls.hIcon = LoadIconW(instance, L"MAINICON");
        cls.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        cls.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        cls.lpszClassName = cls_;
        RegisterClassExW(&cls);
    }
    RECT r = {0, 0, width_, height_};
    AdjustWindowRectEx(&r, style_, FALSE, 0);
    window_ = CreateWindowExW(0, cls_, caption.c_str(), style_, CW_USEDEFAULT, CW_USEDEFAULT, r.right - r.left,
                              r.bottom - r.top, owner, nullptr, instance, this);
    if (!window_) return false;
    if (!font_) SetFont(L"MS Shell Dlg 2", -11, DEFAULT_CHARSET);
    CreateControls();
    OnCreate();
    return true;
}

void Form::SetFont(const wchar_t* face, int height, BYTE charset) {
    for (HFONT* f : {&font_, &boldFont_, &linkFont_})
        if (*f) DeleteObject(*f);
    font_ = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, charset, 0, 0, 0, 0, face);
    boldFont_ = CreateFontW(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, charset, 0, 0, 0, 0, face);
    linkFont_ = CreateFontW(height, 0, 0, 0, FW_NORMAL, FALSE, TRUE, FALSE, charset, 0, 0, 0, 0, face);
    for (size_t i = 0; i < controls_.size(); ++i) {
        HFONT f = rows_[i].kind == Kind::Link ? linkFont_ : (rows_[i].flags & Bold) ? boldFont_ : font_;
        SendMessageW(controls_[i], WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE);
    }
}

void Form::CreateControls() {
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (size_t i = 0; i < count_; ++i) {
        const ControlRow& s = rows_[i];
        ClassOf c = ClassFor(s.kind, s.flags);
        // Exclusive radio groups: a group starts at its first radio and at every other control.
        bool groupStart = !IsRadio(s) || (s.flags & GroupStart);
        DWORD style = WS_CHILD | WS_VISIBLE | c.style | (groupStart ? WS_GROUP : 0);
        HWND h = CreateWindowExW(c.exStyle, c.cls, s.caption ? s.caption : L"", style, s.x, s.y, s.w, s.h, window_,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(FirstControlId + i)), instance, nullptr);
        SetPropW(h, NameProperty, reinterpret_cast<HANDLE>(static_cast<ULONG_PTR>(GlobalAddAtomA(s.name))));
        HFONT f = s.kind == Kind::Link ? linkFont_ : (s.flags & Bold) ? boldFont_ : font_;
        SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(f), FALSE);
        if (s.flags & Checked) SendMessageW(h, BM_SETCHECK, BST_CHECKED, 0);
        controls_.push_back(h);
    }
}

void Form::CentreOver(HWND other) {
    RECT area, mine;
    if (other)
        GetWindowRect(other, &area);
    else
        SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(window_, &mine);
    int w = mine.right - mine.left, h = mine.bottom - mine.top;
    SetWindowPos(window_, nullptr, area.left + (area.right - area.left - w) / 2, area.top + (area.bottom - area.top - h) / 2,
                 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

HWND Form::Control(const char* name) const {
    int id = IdOf(name);
    return id ? controls_[id - FirstControlId] : nullptr;
}

int Form::IdOf(const char* name) const {
    for (size_t i = 0; i < count_; ++i)
        if (!lstrcmpA(rows_[i].name, name)) return FirstControlId + static_cast<int>(i);
    return 0;
}

bool Form::IsChecked(const char* name) const { return SendMessageW(Control(name), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void Form::SetChecked(const char* name, bool checked) {
    HWND h = Control(name);
    if (checked && SendMessageW(h, BM_GETCHECK, 0, 0) != BST_CHECKED) {
        // A checked radio button unchecks the others of its group, as a click would.
        size_t i = IdOf(name) - FirstControlId;
        if (IsRadio(rows_[i])) {
            size_t first = i, last = i;
            while (first > 0 && IsRadio(rows_[first - 1]) && !(rows_[first].flags & GroupStart)) --first;
            while (last + 1 < count_ && IsRadio(rows_[last + 1]) && !(rows_[last + 1].flags & GroupStart)) ++last;
            for (size_t k = first; k <= last; ++k) SendMessageW(controls_[k], BM_SETCHECK, BST_UNCHECKED, 0);
        }
    }
    SendMessageW(h, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

std::wstring Form::TextOf(const char* name) const {
    HWND h = Control(name);
    int n = GetWindowTextLengthW(h);
    std::wstring text(n + 1, L'\0');
    n = GetWindowTextW(h, &text[0], n + 1);
    text.resize(n);
    return text;
}

void Form::SetText(const char* name, const std::wstring& text) { SetWindowTextW(Control(name), text.c_str()); }
void Form::Enable(const char* name, bool enabled) { EnableWindow(Control(name), enabled); }
bool Form::IsEnabled(const char* name) const { return IsWindowEnabled(Control(name)) != FALSE; }

// Key preview and dialog navigation for the form that owns the message's window.
bool Form::PreTranslate(MSG& msg) {
    HWND top = GetAncestor(msg.hwnd, GA_ROOT);
    auto* form = top ? reinterpret_cast<Form*>(GetWindowLongPtrW(top, GWLP_USERDATA)) : nullptr;
    if (!form || !form->window_) return false;
    if (msg.message == WM_KEYDOWN) {
        if (form->keyPreview_ && form->OnKeyDown(msg.wParam, msg.hwnd)) return true;
        if (msg.wParam == VK_ESCAPE && form->closeOnEscape_) {
            form->SetModalResult(IDCANCEL);
            return true;
        }
    }
    return IsDialogMessageW(form->window_, &msg) != FALSE;
}

int Form::ShowModal() {
    // Every other enabled window of the thread waits until this one has a result.
    std::vector<HWND> disabled = DisableThreadWindows(window_);
    modalResult_ = 0;
    ShowWindow(window_, SW_SHOWNORMAL);
    MSG msg;
    bool quit = false;
    while (!modalResult_) {
        if (GetMessageW(&msg, nullptr, 0, 0) <= 0) {
            quit = true;
            break;
        }
        if (!PreTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    EnableWindows(disabled);
    ShowWindow(window_, SW_HIDE);
    if (quit) PostQuitMessage(static_cast<int>(msg.wParam));
    return modalResult_;
}

void Form::RunMessageLoop() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!PreTranslate(msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
}

LRESULT Form::OnMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        if (lParam) OnCommand(LOWORD(wParam), HIWORD(wParam));
        else if (LOWORD(wParam) == IDCANCEL || LOWORD(wParam) == IDOK) OnCommand(LOWORD(wParam), BN_CLICKED);
        return 0;
    case WM_NOTIFY:
        OnNotify(reinterpret_cast<NMHDR*>(lParam));
        return 0;
    case WM_SHOWWINDOW:
        if (wParam && !shown_) {
            shown_ = true;
            OnShow();
        }
        break;
    case WM_CTLCOLORSTATIC: {
        // Link labels in blue; everything else on the button face.
        HWND control = reinterpret_cast<HWND>(lParam);
        int id = GetDlgCtrlID(control) - FirstControlId;
        if (id >= 0 && id < static_cast<int>(count_) && rows_[id].kind == Kind::Link) {
            HDC dc = reinterpret_cast<HDC>(wParam);
            SetTextColor(dc, RGB(0, 0, 255));
            SetBkMode(dc, TRANSPARENT);
            return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
        }
        break;
    }
    case WM_SETCURSOR: {
        int id = GetDlgCtrlID(reinterpret_cast<HWND>(wParam)) - FirstControlId;
        if (id >= 0 && id < static_cast<int>(count_) && rows_[id].kind == Kind::Link) {
            SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_HAND)));
            return TRUE;
        }
        break;
    }
    case WM_CLOSE:
        OnCloseRequest();
        return 0;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK Form::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!form) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        form->window_ = nullptr;
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        return DefWindowProcW(window, message, wParam, lParam);
    }
    try {
        return form->OnMessage(message, wParam, lParam);
    } catch (...) {
        if (g_exceptionHandler) g_exceptionHandler(std::current_exception());
        return 0;
    }
}

}  // namespace ui
