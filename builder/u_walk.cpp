#include "u_walk.h"

#include <algorithm>

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

namespace {

const DWORD PathLimit = 32768;  // the longest path the W functions take

// What a file or folder is, wherever the path to it went: volume serial and file index.
struct FileId {
    DWORD serial = 0, high = 0, low = 0;
    bool operator==(const FileId& o) const { return serial == o.serial && high == o.high && low == o.low; }
};

// Opens what a path leads to (through any link), for its identity and final path only.
HANDLE OpenResolved(const std::wstring& path) {
    return CreateFileW(ApiPath(path).c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

bool IdOf(HANDLE h, FileId& id, BY_HANDLE_FILE_INFORMATION& info) {
    if (!GetFileInformationByHandle(h, &info)) return false;
    id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
    return true;
}

bool IdAt(const std::wstring& path, FileId& id) {
    HANDLE h = OpenResolved(path);
    if (h == INVALID_HANDLE_VALUE) return false;
    BY_HANDLE_FILE_INFORMATION info;
    bool ok = IdOf(h, id, info);
    CloseHandle(h);
    return ok;
}

// The path the system resolved an open handle to, without the \\?\ prefix; empty when it can't tell.
std::wstring FinalPath(HANDLE h) {
    std::wstring path(PathLimit, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, &path[0], PathLimit, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    path.resize(n < PathLimit ? n : 0);
    if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return L"\\\\" + path.substr(8);
    if (path.compare(0, 4, L"\\\\?\\") == 0) return path.substr(4);
    return path;
}

// What a path of the tree leads to, opened once: whether it could be, its identity, its final path.
struct Resolved {
    bool opened = false, known = false;
    DWORD code = 0;  // why it could not be opened
    FileId id;
    BY_HANDLE_FILE_INFORMATION info = {};
    std::wstring target;
};

Resolved Resolve(const std::wstring& path) {
    Resolved r;
    HANDLE h = OpenResolved(path);
    if (h == INVALID_HANDLE_VALUE) {
        r.code = GetLastError();
        return r;
    }
    r.opened = true;
    r.known = IdOf(h, r.id, r.info);
    r.target = FinalPath(h);
    CloseHandle(h);
    return r;
}

class Walk {
public:
    Walk(const std::wstring& source, std::vector<tfile>& items) : source_(source), items_(items) {
        Resolved r = Resolve(source);
        sourceId_ = r.id;
        path_.push_back(sourceId_);
        finals_.push_back(r.target);
    }

    void Folder(const std::wstring& prefix) {
        WIN32_FIND_DATAW found;
        HANDLE search = FindFirstFileExW(ApiPath(source_ + prefix + L"*.*").c_str(), FindExInfoStandard, &found,
                                         FindExSearchNameMatch, nullptr, 0);
        if (search == INVALID_HANDLE_VALUE) return;
        do {
            std::wstring name = found.cFileName;
            if (name == L"." || name == L".." || (found.dwFileAttributes & 0x8)) continue;  // 0x8: volume label
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                SubFolder(prefix, found);
            else
                File(prefix, found);
        } while (refusal_.reason == LinkRefusal::None && FindNextFileW(search, &found));
        FindClose(search);
    }

    LinkRefusal refusal_;

private:
    void Refuse(LinkRefusal::Reason reason, const std::wstring& link, const std::wstring& target) {
        refusal_ = {reason, link, target};
    }

    // Whether a folder (a full path) is the source folder or lies below it, by the identities of
    // the folder and its parents.
    bool Inside(std::wstring folder) const {
        for (;;) {
            FileId id;
            if (IdAt(folder, id) && id == sourceId_) return true;
            std::wstring up = ExtractFileDir(folder);
            if (up.empty() || up == folder) return false;
            folder = up;
        }
    }

    void SubFolder(const std::wstring& prefix, WIN32_FIND_DATAW& found) {
        std::wstring name = prefix + found.cFileName;
        bool link = found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
        Resolved r = Resolve(source_ + name);
        if (!r.opened) {
            // A folder that can't be opened can't be searched either: its entry alone is stored.
            if (link) return Refuse(LinkRefusal::Unresolved, name, L"");
            items_.emplace_back(prefix, found);
            return;
        }
        if (r.known && std::find(path_.begin(), path_.end(), r.id) != path_.end())
            return Refuse(LinkRefusal::Loop, name, r.target);
        if (link && (!r.known || !Inside(r.target))) return Refuse(LinkRefusal::Outside, name, r.target);
        // A followed link is stored as the folder it leads to.
        found.dwFileAttributes &= ~FILE_ATTRIBUTE_REPARSE_POINT;
        items_.emplace_back(prefix, found);
        path_.push_back(r.id);
        finals_.push_back(r.target);
        Folder(name + L"\\");
        path_.pop_back();
        finals_.pop_back();
    }

    // A link to a file need not show as one (Wine doesn't mark them): the file is opened and the
    // folder it really lies in compared with the one being searched.
    void File(const std::wstring& prefix, WIN32_FIND_DATAW& found) {
        std::wstring name = prefix + found.cFileName;
        bool link = found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
        Resolved r = Resolve(source_ + name);
        if (!r.opened) {
            // Listed but not there: a link that leads nowhere. Any other failure is the read's to
            // report.
            if (link || r.code == ERROR_FILE_NOT_FOUND || r.code == ERROR_PATH_NOT_FOUND)
                return Refuse(LinkRefusal::Unresolved, name, L"");
            items_.emplace_back(prefix, found);
            return;
        }
        // The folder being searched resolves to the same final path as its files' folder, unless
        // the file leads elsewhere; a final path spelt otherwise is compared by identity.
        FileId folder;
        std::wstring in = ExtractFileDir(r.target);
        bool here = r.target.empty() ? !link
                                     : (!finals_.back().empty() && in == finals_.back()) ||
                                           (IdAt(in, folder) && folder == path_.back());
        if (here && !link) {
            items_.emplace_back(prefix, found);
            return;
        }
        if (!r.known || r.target.empty() || !Inside(ExtractFileDir(r.target)))
            return Refuse(LinkRefusal::Outside, name, r.target);
        // A followed link is stored as the file it leads to: its size, time and attributes.
        found.nFileSizeHigh = r.info.nFileSizeHigh;
        found.nFileSizeLow = r.info.nFileSizeLow;
        found.ftLastWriteTime = r.info.ftLastWriteTime;
        found.dwFileAttributes = r.info.dwFileAttributes & ~FILE_ATTRIBUTE_REPARSE_POINT;
        items_.emplace_back(prefix, found);
    }

    const std::wstring& source_;
    std::vector<tfile>& items_;
    FileId sourceId_;
    std::vector<FileId> path_;  // the folders from the source folder to the one being searched
    std::vector<std::wstring> finals_;  // and their final paths (empty where unknown)
};

}  // namespace

LinkRefusal CollectItems(const std::wstring& source, std::vector<tfile>& items) {
    Walk walk(source, items);
    walk.Folder(std::wstring());
    return walk.refusal_;
}
