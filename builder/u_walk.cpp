#include "u_walk.h"

#include "u_payload.h"
#include "u_payloadwrite.h"
#include "u_paths.h"

tfile::tfile(const std::wstring& prefix, const WIN32_FIND_DATAW& found)
    : Name(prefix + found.cFileName), Attributes(found.dwFileAttributes) {
    // A name longer in bytes than the original form takes fits the extended one.
    NoCodePageForm = !ToCodePage(Name, Stored) || Stored.size() > MaxNameUnits;
    Unencodable = !IsStorableUtf16(Name.data(), Name.size());
    bool folder = found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
    Size = folder ? 0 : static_cast<int64_t>(static_cast<uint64_t>(found.nFileSizeHigh) << 32 | found.nFileSizeLow);
    FILETIME local;
    WORD date = 0, time = 0;
    if (FileTimeToLocalFileTime(&found.ftLastWriteTime, &local)) FileTimeToDosDateTime(&local, &date, &time);
    Time = (static_cast<uint32_t>(date) << 16) | time;
}

void CollectItems(const std::wstring& source, const std::wstring& prefix, std::vector<tfile>& items) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileExW(ApiPath(source + prefix + L"*.*").c_str(), FindExInfoStandard, &found,
                                     FindExSearchNameMatch, nullptr, 0);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        std::wstring name = found.cFileName;
        if (name == L"." || name == L".." || (found.dwFileAttributes & 0x8)) continue;  // 0x8: volume label
        items.emplace_back(prefix, found);
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) CollectItems(source, prefix + name + L"\\", items);
    } while (FindNextFileW(search, &found));
    FindClose(search);
}
