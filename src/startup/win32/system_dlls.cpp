// System DLLs: the search path restriction and comctl32 loaded on demand.
// comctl32 is no static import because it is not a known DLL: the loader
// would look for it in the package's own folder first.
#include "startup/win32/system_dlls.h"

#include <windows.h>
#include <commctrl.h>

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

typedef BOOL(WINAPI* SetDefaultDllDirectoriesFn)(DWORD);
typedef BOOL(WINAPI* InitCommonControlsExFn)(const INITCOMMONCONTROLSEX*);

static int SearchIsRestricted;

// GetProcAddress hands back a generic function pointer; this names the cast once.
template <typename T>
static T LookUp(HMODULE module, const char* name)
{
    return (T)(void*)GetProcAddress(module, name);
}

void RestrictDllSearchPath(void)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SetDefaultDllDirectoriesFn setDefault = LookUp<SetDefaultDllDirectoriesFn>(kernel, "SetDefaultDllDirectories");
    if (setDefault != NULL && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        SearchIsRestricted = 1;
    // Older systems lack that call; at least take the current folder out.
    SetDllDirectoryA("");
}

static HMODULE LoadSystemLibrary(const char* name)
{
    if (SearchIsRestricted)
        return LoadLibraryExA(name, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    char path[MAX_PATH];
    UINT length = GetSystemDirectoryA(path, MAX_PATH);
    if (length == 0 || length + 1 + (UINT)lstrlenA(name) >= MAX_PATH)
        return NULL;
    path[length] = '\\';
    lstrcpyA(path + length + 1, name);
    return LoadLibraryA(path);
}

int RegisterProgressBarClass(void)
{
    HMODULE comctl = LoadSystemLibrary("comctl32.dll");
    if (comctl == NULL)
        return -1;
    InitCommonControlsExFn init = LookUp<InitCommonControlsExFn>(comctl, "InitCommonControlsEx");
    if (init == NULL)
        return -1;
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof controls;
    controls.dwICC = ICC_PROGRESS_CLASS;
    return init(&controls) ? 0 : -1;
}
