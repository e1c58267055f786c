#include "f_cmdlinegen.h"

#include "u_cmdlinegen.h"
#include "u_paths.h"
#include "u_textwindow.h"

using namespace ui;

std::wstring GenerateCommandLine(const BuildSettings& settings) {
    return ComposeCommandLine(CommandLinePiecesFor(settings, ModulePath()));
}

void ShowCommandLineGenerator(const BuildSettings& settings) {
    const ControlRow controls[] = {
        {"mcmdline", Kind::Memo, 8, 8, 769, 81, nullptr, 0},
        {"bclose", Kind::DefaultButton, 704, 96, 73, 25, L"닫기", 0},
        {"bcopy", Kind::Button, 8, 96, 121, 25, L"클립보드로 복사", 0},
    };
    TextWindow window(L"Tfcmdlinegen", 784, 128, controls, 3);
    window.Show(L"현재 UI 옵션에서 생성된 명령줄 매개변수", GenerateCommandLine(settings));
}
