#pragma once
// The list page's record of what the guard told the user: every notice,
// newest first, with its time. A balloon can be missed or pushed aside by
// the next; this list keeps them all, up to a limit.
#include <windows.h>

#include <string>

namespace kb {

class NoticeList {
public:
    // The oldest notice goes once this many are kept.
    static constexpr int kKept = 200;

    void Attach(HWND listBox) noexcept { list_ = listBox; }
    HWND Handle() const noexcept { return list_; }

    // Adds the notice at the top, stamped with the local time.
    void Add(const std::wstring& text);

private:
    HWND list_ = nullptr;
    int widest_ = 0;  // the widest line so far, for the horizontal scroll bar
};

}  // namespace kb
