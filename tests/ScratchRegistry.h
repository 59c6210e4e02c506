#pragma once
// Redirects HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER of this process to
// fresh scratch keys for the object's life, and removes them afterwards.
#include <windows.h>

#include <string>

#include "platform/Handle.h"

namespace kb::test {

class ScratchRegistry {
public:
    ScratchRegistry();
    ~ScratchRegistry();
    ScratchRegistry(const ScratchRegistry&) = delete;
    ScratchRegistry& operator=(const ScratchRegistry&) = delete;

    // False when the redirection could not be made or does not hold; then
    // nothing may be written through the predefined roots.
    bool Holds() const noexcept { return holds_; }

private:
    std::wstring path_;  // below the real HKEY_CURRENT_USER
    UniqueKey machine_, user_;
    bool holds_ = false;
};

// A fresh folder below the temporary folder, removed with its contents.
class ScratchFolder {
public:
    ScratchFolder();
    ~ScratchFolder();
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;
    const std::wstring& Path() const noexcept { return path_; }
    // A sub-folder, made if missing.
    std::wstring Sub(const std::wstring& name) const;

private:
    std::wstring path_;
};

void RemoveTree(const std::wstring& path);

}  // namespace kb::test
