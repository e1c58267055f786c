// The shell's folder browser with a preselected folder.
#pragma once
#include <string>

// title: shown above the tree (none when empty); root: the top of the tree (the whole shell
// namespace when empty); folder: preselected on entry (when it names an existing folder),
// the chosen folder on a true return, otherwise as it was after the check.
bool BrowseForFolder(const std::wstring& title, const std::wstring& root, std::wstring& folder);
