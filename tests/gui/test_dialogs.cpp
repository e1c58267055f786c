// The four message boxes, driven in this process: a watcher thread finds the box,
// reads caption, icon, buttons and text, and answers it as a user would.
#include <gtest/gtest.h>

#include <functional>
#include <thread>

#include "u_dialogs.h"
#include "winprocess.h"

namespace {

// Runs show() on this thread while a watcher reads the box and answers with answer().
MessageBoxView ShowAndAnswer(const std::function<void()>& show,
                             const std::function<void(const MessageBoxView&)> answer,
                             std::function<void(const MessageBoxView&)> whileOpen = nullptr) {
    MessageBoxView view;
    std::thread watcher([&] {
        HWND box = WaitForWindow(GetCurrentProcessId(), kDialogClass, 10000);
        if (!box) {
            ADD_FAILURE() << "no message box appeared";
            return;
        }
        // Once set up: its default button, and the keyboard focus within it.
        view = ReadMessageBoxWhenReady(box);
        WaitUntil([box] {
            GUITHREADINFO info{sizeof(info)};
            return GetGUIThreadInfo(GetWindowThreadProcessId(box, nullptr), &info) && IsChild(box, info.hwndFocus);
        }, 3000);
        if (whileOpen) whileOpen(view);
        answer(view);
        // Never leave the test blocked: close whatever is still open.
        for (int i = 0; i < 100 && IsWindow(box); ++i) Sleep(50);
        if (IsWindow(box)) {
            ADD_FAILURE() << "message box did not close";
            PostMessageW(box, WM_CLOSE, 0, 0);
            PressButton(box, IDNO);
            PressButton(box, IDOK);
        }
    });
    show();
    watcher.join();
    return view;
}

void Press(const MessageBoxView& v, int id) { PressButton(v.window, id); }

// Enter as the user types it: to the control that has the keyboard focus.
void PressEnter(const MessageBoxView& v) {
    GUITHREADINFO info{sizeof(info)};
    GetGUIThreadInfo(GetWindowThreadProcessId(v.window, nullptr), &info);
    HWND focus = info.hwndFocus ? info.hwndFocus : v.window;
    PostMessageW(focus, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageW(focus, WM_KEYUP, VK_RETURN, 0xC01C0001);
}

HWND TextControl(HWND box) { return GetDlgItem(box, 0xFFFF); }

int TextHeight(HWND box) {
    RECT r{};
    GetWindowRect(TextControl(box), &r);
    return r.bottom - r.top;
}

}  // namespace

TEST(MessageBoxes, CaptionIconAndButtons) {
    const std::wstring text = L"first line\r\nsecond line";
    struct Case {
        std::function<void()> show;
        const wchar_t* caption;
        LPCWSTR icon;
        std::vector<int> buttons;
    } cases[] = {
        {[&] { ShowErrorMessage(text); }, L"Error", reinterpret_cast<LPCWSTR>(IDI_HAND), {IDOK}},
        {[&] { ShowInfoMessage(text); }, L"Information", reinterpret_cast<LPCWSTR>(IDI_ASTERISK), {IDOK}},
        {[&] { ShowWarningMessage(text); }, L"Warning", reinterpret_cast<LPCWSTR>(IDI_EXCLAMATION), {IDOK}},
        {[&] { AskConfirmation(text, true); }, L"Confirmation", reinterpret_cast<LPCWSTR>(IDI_QUESTION), {IDYES, IDNO}},
    };
    for (const Case& c : cases) {
        int twoLines = 0;
        MessageBoxView v = ShowAndAnswer(c.show, [&](const MessageBoxView& v) {
            twoLines = TextHeight(v.window);
            Press(v, c.buttons.back());
        });
        EXPECT_EQ(v.caption, c.caption);
        EXPECT_EQ(v.text, text);
        EXPECT_EQ(v.icon, LoadIconW(nullptr, c.icon)) << testing::PrintToString(v.caption);
        std::vector<int> buttons = v.buttons;
        std::sort(buttons.begin(), buttons.end());
        EXPECT_EQ(buttons, c.buttons) << testing::PrintToString(v.caption);

        // The line break pair really makes two lines: the text is taller than one line.
        int oneLine = 0;
        ShowAndAnswer([&] { ShowErrorMessage(L"first line"); }, [&](const MessageBoxView& v) {
            oneLine = TextHeight(v.window);
            Press(v, IDOK);
        });
        EXPECT_GT(twoLines, oneLine * 3 / 2) << testing::PrintToString(v.caption);
    }
}

TEST(MessageBoxes, ConfirmationAnswers) {
    bool answer = true;
    MessageBoxView v = ShowAndAnswer([&] { answer = AskConfirmation(L"Replace?", false); }, PressEnter);
    EXPECT_EQ(v.defaultButton, IDNO);
    EXPECT_FALSE(answer) << "Enter must answer No when No is the default";

    v = ShowAndAnswer([&] { answer = AskConfirmation(L"Replace?", true); }, PressEnter);
    EXPECT_EQ(v.defaultButton, IDYES);
    EXPECT_TRUE(answer);

    ShowAndAnswer([&] { answer = AskConfirmation(L"Replace?", false); },
                  [](const MessageBoxView& v) { Press(v, IDYES); });
    EXPECT_TRUE(answer);
    ShowAndAnswer([&] { answer = AskConfirmation(L"Replace?", true); },
                  [](const MessageBoxView& v) { Press(v, IDNO); });
    EXPECT_FALSE(answer);
}

TEST(MessageBoxes, TopmostWindowsStepBackAndOtherWindowsWait) {
    HWND owner = CreateWindowExW(0, L"STATIC", L"main", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10, 200,
                                 100, nullptr, nullptr, nullptr, nullptr);
    HWND topmost = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"STATIC", L"on top",
                                   WS_POPUP | WS_VISIBLE, 50, 50, 100, 60, nullptr, nullptr, nullptr,
                                   nullptr);
    ASSERT_TRUE(owner && topmost);
    SetApplicationWindow(owner);
    ASSERT_TRUE(GetWindowLongW(topmost, GWL_EXSTYLE) & WS_EX_TOPMOST);

    bool wasTopmost = true, wasEnabled = true;
    HWND boxOwner = nullptr;
    ShowAndAnswer([] { ShowWarningMessage(L"careful"); },
                  [](const MessageBoxView& v) { Press(v, IDOK); },
                  [&](const MessageBoxView& v) {
                      wasTopmost = GetWindowLongW(topmost, GWL_EXSTYLE) & WS_EX_TOPMOST;
                      wasEnabled = IsWindowEnabled(topmost);
                      boxOwner = GetWindow(v.window, GW_OWNER);
                  });
    EXPECT_FALSE(wasTopmost) << "a topmost window stayed above the box";
    EXPECT_FALSE(wasEnabled) << "the box was not modal to the other windows";
    EXPECT_EQ(boxOwner, owner);
    EXPECT_TRUE(GetWindowLongW(topmost, GWL_EXSTYLE) & WS_EX_TOPMOST) << "topmost not restored";
    EXPECT_TRUE(IsWindowEnabled(topmost));
    EXPECT_TRUE(IsWindowEnabled(owner));

    SetApplicationWindow(nullptr);
    DestroyWindow(topmost);
    DestroyWindow(owner);
}

// Korean texts are shown through the wide functions: exact under every system code page.
TEST(MessageBoxes, KoreanTextsReadBackExactly) {
    const std::wstring korean = L"원본 폴더를 찾을 수 없습니다.\r\n대상 파일: ";
    MessageBoxView v = ShowAndAnswer([&] { ShowErrorMessage(korean + L"C:\\a.exe"); },
                                     [](const MessageBoxView& v) { Press(v, IDOK); });
    EXPECT_EQ(v.text, korean + L"C:\\a.exe");
    if (GetACP() == 949) {
        EXPECT_EQ(AnsiToWide("\xBF\xF8\xBA\xBB"), L"원본");
    } else {
        EXPECT_EQ(AnsiToWide("caf\xE9"), L"café");
    }
}

TEST(DialogTexts, FixedEnglishTexts) {
    const wchar_t* expected[] = {L"Error", L"Information", L"Warning", L"Confirmation", L"About...",
                                 L"Version", L"", nullptr, L"Web", L"E-mail", L"OK"};
    for (int i = 0; i < 11; ++i)
        if (expected[i]) {
            EXPECT_STREQ(DialogTexts[i], expected[i]) << i;
        }
    EXPECT_GT(wcslen(DialogTexts[7]), 0u);
}
