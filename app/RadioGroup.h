#pragma once
// A captioned group of radio buttons whose state is one item index.
#include <windows.h>

#include <array>

namespace kb {

class RadioGroup {
public:
    static constexpr int kItems = 3;

    void SetItems(const std::array<HWND, kItems>& items) { items_ = items; }
    HWND Item(int i) const { return items_.at(static_cast<std::size_t>(i)); }

    void Enable(bool enabled) const {
        for (HWND item : items_) ::EnableWindow(item, enabled);
    }
    // -1 when no item is selected.
    int ItemIndex() const {
        for (int i = 0; i < kItems; ++i)
            if (::SendMessageW(Item(i), BM_GETCHECK, 0, 0) == BST_CHECKED) return i;
        return -1;
    }
    // Below -1 selects no item; past the end selects the last.
    void SetItemIndex(int index) const {
        if (index < -1) index = -1;
        if (index >= kItems) index = kItems - 1;
        for (int i = 0; i < kItems; ++i)
            ::SendMessageW(Item(i), BM_SETCHECK, i == index ? BST_CHECKED : BST_UNCHECKED, 0);
    }

private:
    std::array<HWND, kItems> items_{};
};

}  // namespace kb
