// The program's folders from the Windows shell, without Qt: the folder of
// the executable file and the user's Documents folder, in the ANSI code page.

#include "AppFolders.h"

#include <windows.h>

#include <shlobj.h>
#include <shlwapi.h>

std::string executableFolder()
{
    char path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return ".";
    PathRemoveFileSpecA(path);
    return path;
}

std::string documentsFolder()
{
    char path[MAX_PATH + 1] = {};
    if (SHGetFolderPathA(nullptr, CSIDL_PERSONAL, nullptr, SHGFP_TYPE_CURRENT, path) != S_OK)
        return executableFolder();
    return path;
}
