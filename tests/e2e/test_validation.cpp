// The builder's messages during a windowless build, read from its real message boxes:
// validation errors, the overwrite question, success, and errors that end the build.
#include <gtest/gtest.h>

#include "buildtools.h"
#include "sfxreader.h"

namespace {

// A running builder whose message boxes the test reads and answers one by one.
class Builder {
public:
    Builder(const std::string& args, const std::string& workDir) : p_(Q(Quillet()) + " " + args, workDir.c_str()) {}
    // The next message box; fails the test when none comes.
    MessageBoxView NextBox() {
        MessageBoxView box = WaitForMessageBox(p_.Id(), 20000);
        EXPECT_TRUE(box.window) << "no message box";
        return box;
    }
    void Answer(const MessageBoxView& box, int button) {
        PressButton(box.window, button);
        for (int i = 0; i < 200 && IsWindow(box.window); ++i) Sleep(20);
    }
    DWORD End() { return ExpectEndsWithoutMessages(p_, 60000); }

private:
    Process p_;
};

void ExpectError(const MessageBoxView& box, const std::wstring& text) {
    EXPECT_EQ(box.caption, L"Error");
    EXPECT_EQ(box.text, text);
    EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
}

}  // namespace

TEST(Validation, EachFailingCheckShowsItsMessageAndWritesNothing) {
    TempFolder src, other, out;
    WriteFileBytes(src / "a.txt", "a");
    WriteFileBytes(other / "x.exe", "MZ");
    std::string target = out / "t.exe";
    struct Case {
        std::string args;
        std::wstring text;
    } cases[] = {
        {Q(src / "missing") + " " + Q(target), L"원본 폴더가 없습니다.\r\n\r\n" + WideOf(src / "missing\\")},
        {"-ic " + Q(src.Path()) + " " + Q(target) + " " + Q(src / "none.ico"),
         L"아이콘 파일이 없습니다.\r\n\r\n" + WideOf(src / "none.ico")},
        {"-mf " + Q(src.Path()) + " " + Q(target) + " " + Q(src / "none.exe"),
         L"실행 파일이 없습니다.\r\n\r\n" + WideOf(src / "none.exe")},
        {"-mf " + Q(src.Path()) + " " + Q(target) + " " + Q(other / "x.exe"),
         L"실행 파일\r\n" + WideOf(other / "x.exe") + L"\r\n\r\n실행 파일이 원본 폴더에 없습니다.\r\n" + WideOf(src.Path())},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Builder b("-h " + c.args, out.Path());
        MessageBoxView box = b.NextBox();
        ExpectError(box, c.text);
        b.Answer(box, IDOK);
        EXPECT_EQ(b.End(), 0u);
        EXPECT_TRUE(out.List().empty());
    }
}

TEST(Validation, OverwriteQuestionAndSuccessBox) {
    TempFolder src, out;
    WriteFileBytes(src / "a.txt", "a");
    std::string target = out / "t.exe";
    const std::wstring question = L"대상 파일이 이미 존재합니다.\r\n덮어쓰시겠습니까?";
    const std::wstring success = L"SFX 파일이 성공적으로 생성되었습니다";
    std::string args = "-h " + Q(src.Path()) + " " + Q(target);

    WriteFileBytes(target, "old");
    {  // No: the target stays as it was.
        Builder b(args, out.Path());
        MessageBoxView box = b.NextBox();
        EXPECT_EQ(box.caption, L"Confirmation");
        EXPECT_EQ(box.text, question);
        EXPECT_EQ(box.defaultButton, IDNO);
        b.Answer(box, IDNO);
        EXPECT_EQ(b.End(), 0u);
        EXPECT_EQ(ReadFileBytes(target), "old");
    }
    {  // Yes: built, then the success box.
        Builder b(args, out.Path());
        MessageBoxView box = b.NextBox();
        EXPECT_EQ(box.text, question);
        b.Answer(box, IDYES);
        box = b.NextBox();
        EXPECT_EQ(box.caption, L"Information");
        EXPECT_EQ(box.text, success);
        b.Answer(box, IDOK);
        EXPECT_EQ(b.End(), 0u);
        EXPECT_EQ(ReadSfx(target).error, "");
    }
    {  // -o: replaced without a question.
        WriteFileBytes(target, "old");
        Builder b("-o " + args, out.Path());
        MessageBoxView box = b.NextBox();
        EXPECT_EQ(box.text, success);
        b.Answer(box, IDOK);
        EXPECT_EQ(b.End(), 0u);
        EXPECT_EQ(ReadSfx(target).error, "");
    }
}

TEST(BuildFailure, LockedSourceFileEndsWithApplicationError) {
    TempFolder src, out;
    WriteFileBytes(src / "a.txt", "first");
    WriteFileBytes(src / "b.txt", "locked");
    HANDLE lock = CreateFileA((src / "b.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    Builder b("-h -c " + Q(src.Path()) + " " + Q(out / "t.exe"), out.Path());
    MessageBoxView box = b.NextBox();
    EXPECT_EQ(box.caption, L"Application Error");
    EXPECT_EQ(box.text.rfind(L"OpenError: ", 0), 0u) << testing::PrintToString(box.text);
    EXPECT_NE(box.text.find(WideOf(src / "b.txt")), std::wstring::npos);
    b.Answer(box, IDOK);
    EXPECT_EQ(b.End(), 1u);
    CloseHandle(lock);
    // The new file was written beside the target and is gone: no target, no temporary file.
    EXPECT_TRUE(out.List().empty());
}

TEST(BuildFailure, EmptyTargetCannotBeCreated) {
    TempFolder src, out;
    WriteFileBytes(src / "a.txt", "a");
    Builder b("-h -c " + Q(src.Path()) + " \"\"", out.Path());
    MessageBoxView box = b.NextBox();
    EXPECT_EQ(box.caption, L"Application Error");
    EXPECT_EQ(box.text, L"DirectoryError: Unable to create directory");
    b.Answer(box, IDOK);
    EXPECT_EQ(b.End(), 1u);
}
