#pragma once
// A function of a system DLL that only later work needs, loaded on its first call instead of
// at start-up. Under Wine and on Windows alike, a DLL imported by the executable is loaded,
// with everything it imports in turn, before the first window: comdlg32 alone costs
// start-up about 9 MB and tens of milliseconds, for a dialog most runs never open.
#include <windows.h>

namespace lv {

// The address of `name` in the system DLL `dll`, loaded from the system folder only (a DLL
// of that name beside the program is never taken); nullptr when either is missing.
FARPROC LateFunction(const wchar_t* dll, const char* name);

template <typename Signature>
Signature* LateFunctionAs(const wchar_t* dll, const char* name) {
    return reinterpret_cast<Signature*>(reinterpret_cast<void*>(LateFunction(dll, name)));
}

} // namespace lv
