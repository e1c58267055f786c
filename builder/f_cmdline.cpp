#include "f_cmdline.h"

#include "u_paths.h"
#include "u_resources.h"
#include "u_textwindow.h"

using namespace ui;

void ShowUsageWindow() {
    const ControlRow controls[] = {
        {"mcmdline", Kind::Memo, 8, 8, 777, 505, nullptr, 0},
        {"bclose", Kind::DefaultButton, 712, 520, 73, 25, L"닫기", 0},
    };
    const ResourceData& usage = EmbeddedResources.cmdline;
    std::wstring text = AnsiToWide(std::string(reinterpret_cast<const char*>(usage.bytes), usage.size));
    TextWindow window(L"Tfcmdline", 792, 552, controls, 2);
    window.Show(L"명령줄 지원", text);
}
