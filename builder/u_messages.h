// The builder's own message texts (Korean, shown through the wide functions).
#pragma once
#include <initializer_list>
#include <string>

namespace msg {
const wchar_t SourceMissing[] = L"원본 폴더가 없습니다.\r\n\r\n%s";
const wchar_t IconMissing[] = L"아이콘 파일이 없습니다.\r\n\r\n%s";
const wchar_t ExecutableMissing[] = L"실행 파일이 없습니다.\r\n\r\n%s";
const wchar_t ExecutableOutside[] = L"실행 파일\r\n%s\r\n\r\n실행 파일이 원본 폴더에 없습니다.\r\n%s";
const wchar_t NameNotStorable[] =
    L"유니코드로 나타낼 수 없는 이름(짝이 없는 서로게이트)의 파일은 SFX 파일에 넣을 수 없습니다.\r\n\r\n%s";
const wchar_t NameTooLong[] = L"경로가 512자보다 긴 파일은 SFX 파일에 넣을 수 없습니다.\r\n\r\n%s";
// A link of the source folder that the build does not follow.
const wchar_t LinkOutside[] = L"원본 폴더 밖을 가리키는 링크는 SFX 파일에 넣을 수 없습니다.\r\n\r\n링크: %s\r\n대상: %s";
const wchar_t LinkLoop[] =
    L"자신을 담은 폴더를 가리키는 링크(순환 링크)는 SFX 파일에 넣을 수 없습니다.\r\n\r\n링크: %s\r\n대상: %s";
const wchar_t LinkUnresolved[] = L"대상을 찾을 수 없는 링크는 SFX 파일에 넣을 수 없습니다.\r\n\r\n링크: %s%s";
const wchar_t TextNotStorable[] = L"%s에 유니코드로 나타낼 수 없는 문자(짝이 없는 서로게이트)가 있습니다.\r\n\r\n%s";
// The fields of that message.
const wchar_t CmdParametersField[] = L"명령줄 매개변수 (CmdParameters)";
const wchar_t CustomFolderField[] = L"사용자 지정 폴더 (CustomFolder)";
const wchar_t TargetExists[] = L"대상 파일이 이미 존재합니다.\r\n덮어쓰시겠습니까?";
// A cancelled build never touches the target: the previous SFX file is kept, or none is written.
const wchar_t CancelledKept[] = L"SFX 생성 중단됨\r\n기존 대상 SFX 파일은 그대로 유지됩니다";
const wchar_t CancelledNone[] = L"SFX 생성 중단됨\r\n대상 SFX 파일은 만들어지지 않았습니다";
const wchar_t Created[] = L"SFX 파일이 성공적으로 생성되었습니다";
const wchar_t CompressionFailed[] = L"오류";
const wchar_t Initialization[] = L"Initialization...";
}  // namespace msg

// Puts each argument in place of the next "%s" of the text.
inline std::wstring FormatText(const wchar_t* text, std::initializer_list<std::wstring> args) {
    std::wstring out;
    auto arg = args.begin();
    for (const wchar_t* p = text; *p; ++p) {
        if (p[0] == L'%' && p[1] == L's' && arg != args.end()) {
            out += *arg++;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}
