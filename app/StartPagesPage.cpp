// The start-page page: the four values in their boxes; what they read or
// were set to is what the watch defends.
#include "app/MainWindow.h"
#include "platform/Error.h"

namespace kb {

void MainWindow::ReloadStartPages() {
    // During a question the boxes are what it defends: Refrush reads them
    // again once it is answered, not before (the live value is the one
    // asked about).
    if (CheckUnderWay()) {
        startPagesReloadPending_ = true;
        return;
    }
    for (std::size_t i = 0; i < kStartPageCount; ++i) {
        const std::optional<std::wstring> text = ReadStartPage(i);
        // A value that could not be read is not defended: empty text is no
        // reference to put back.
        ::SetWindowTextW(ui_.startPageEdits[i], text.value_or(L"").c_str());
        watcher_->Defend(i, text);
    }
}

void MainWindow::WriteStartPages() {
    std::wstring failed;
    for (std::size_t i = 0; i < kStartPageCount; ++i) {
        const std::wstring text = WindowText(ui_.startPageEdits[i]);
        bool written = false;
        try {
            written = WriteStartPage(i, text);
        } catch (const Error&) {
        }
        // What is written is what the box holds: defended from now on.
        if (written) {
            watcher_->Defend(i, text);
            continue;
        }
        const std::wstring key =
            std::wstring(kStartPageValues[i].root == HKEY_LOCAL_MACHINE ? L"HKEY_LOCAL_MACHINE\\"
                                                                         : L"HKEY_CURRENT_USER\\") +
            kStartPageKey;
        if (failed.find(key) == std::wstring::npos) failed += (failed.empty() ? L"" : L"; ") + key;
    }
    if (!failed.empty()) throw Error(L"Unable to write to " + failed);
}

}  // namespace kb
