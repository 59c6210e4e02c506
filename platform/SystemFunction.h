#pragma once
// A function that a system library exports on some Windows versions only,
// found at run time: the program still loads where it is missing (Windows
// XP SP3 lacks many), and the caller takes its older way there.
#include <windows.h>

namespace kb {

// The export, or null. A library not loaded yet is loaded from the system
// folder only, never from beside the program, where anyone might put one.
FARPROC FindSystemExport(const wchar_t* module, const char* name) noexcept;

template <typename Function>
Function SystemFunction(const wchar_t* module, const char* name) noexcept {
    // Through the generic function pointer type: the cast the compiler
    // accepts between unrelated function types.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(FindSystemExport(module, name)));
}

}  // namespace kb
