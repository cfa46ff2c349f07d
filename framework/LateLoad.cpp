#include "framework/LateLoad.h"

#include <string>

namespace lv {

FARPROC LateFunction(const wchar_t* dll, const char* name) {
    HMODULE module = GetModuleHandleW(dll);
    if (!module)
        module = LoadLibraryExW(dll, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (!module && GetLastError() == ERROR_INVALID_PARAMETER) {
        // A system without the search flags: its own folder, named in full.
        wchar_t path[MAX_PATH];
        UINT n = GetSystemDirectoryW(path, MAX_PATH);
        if (n == 0 || n >= MAX_PATH - 1)
            return nullptr;
        std::wstring full = std::wstring(path, n) + L"\\" + dll;
        module = LoadLibraryW(full.c_str());
    }
    return module ? GetProcAddress(module, name) : nullptr;
}

} // namespace lv
