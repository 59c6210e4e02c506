#pragma once
// The main window: owns every piece of state of the program, its three
// pages, the watch timer and the notification-area icon. Each concern's
// methods live in their own source file (layout, frame, inventory, list
// page, settings, start pages, watch).
#include <windows.h>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/RadioGroup.h"
#include "app/TrayIcon.h"
#include "app/WindowTimer.h"
#include "platform/PngImage.h"
#include "platform/Window.h"
#include "startup/TextTable.h"

namespace kb {

class TabPage;
class TStartupDlg;

struct FormOptions {
    // The command-line arguments after the program's name.
    std::vector<std::wstring> arguments;
    // Gives a shell special folder's path; tests put their own folders here.
    std::function<std::wstring(int folderId)> specialFolder;
    // The program file whose path names the settings file and the self-start
    // entry; empty for the running executable.
    std::wstring executable;
    // Answers the watch's questions instead of the prompt dialog (tests).
    std::function<int(const std::wstring& question)> prompt;
};

class TDisableForm : public WindowBase {
public:
    static constexpr wchar_t kClassName[] = L"TDisableForm";
    static constexpr wchar_t kCaption[] = L"Keepboot 1.2 - Freeware";
    static constexpr UINT kTrayMessage = WM_APP + 1;
    // Answers a mask of the Status bits, so another process can tell whether the
    // window is ready and the watch runs.
    static constexpr UINT kStatusMessage = WM_APP + 2;
    static constexpr LRESULT StatusReady = 1, StatusWatching = 2;

    explicit TDisableForm(FormOptions options = {});
    ~TDisableForm() override;

    // Makes the window, its controls and icon, then runs FormCreate. Only
    // a failure to make the window or the icon raises.
    void Create();
    // FormDestroy, once; also run by the destructor.
    void Destroy();

    // --- state -----------------------------------------------------------
    bool StartHidden = false;
    bool FormReady = false;
    bool Scanning = false;
    std::wstring CommonStartupDir, StartupDir, WindowsDir;
    TextTable RunTable{RunCol::Count}, RunScanTable{RunCol::Count};
    TextTable DisabledRunTable{DisabledRunCol::Count};
    TextTable FolderTable{FolderCol::Count}, FolderScanTable{FolderCol::Count};
    TextTable DisabledFolderTable{DisabledFolderCol::Count};
    std::array<std::wstring, 4> LiveStartPages;

    // --- controls ----------------------------------------------------------
    HWND PageControl = nullptr;
    HWND OnlineButton = nullptr, StartButton = nullptr, StopButton = nullptr,
         CloseButton = nullptr;
    RadioGroup SystemRadioGroup, IERadioGroup;
    HWND StartupCheckBox = nullptr, IntervalCheckBox = nullptr, IntervalEdit = nullptr,
         IntervalLabel = nullptr;
    HWND ListView = nullptr, RefrushButton = nullptr, ApplyButton = nullptr;
    HWND IELabel1 = nullptr, IELabel2 = nullptr, IELabel3 = nullptr, IELabel4 = nullptr;
    HWND IEEdit1 = nullptr, IEEdit2 = nullptr, IEEdit3 = nullptr, IEEdit4 = nullptr;
    HWND RefrushButton1 = nullptr, ApplyButton1 = nullptr;
    WindowTimer& Timer() { return *timer_; }
    // The prompt dialog the watch asks through; made after the window.
    void SetPrompt(TStartupDlg* prompt) noexcept { prompt_ = prompt; }

    // --- creation and destruction (DisableForm.cpp) ----------------------
    void FormCreate();
    void FormDestroy();

    // --- frame behaviour (Frame.cpp) -------------------------------------
    void MinimizeApp();
    void AppMinimize();
    void TrayIconClick();
    void CloseButtonClick();
    void StopButtonClick();
    void StartButtonClick();
    void OnlineButtonClick();
    void ShowPage(int index);
    // Keys the window handles before the dialog keys: Ctrl+Tab and
    // Ctrl+Shift+Tab turn the pages. True when the message was used.
    bool PreTranslateMessage(const MSG& msg);

    // --- inventory (startup/Inventory.cpp) ---------------------------------
    std::wstring GetSpecialFolderPath(int folderId);
    void LoadStartupInventory();
    void ScanRunKey(HKEY root, const std::wstring& rootName, const std::wstring& keyPath);
    void ScanStartupFolder(const std::wstring& locationName, const std::wstring& folder);
    void LoadDisabledRunEntries();
    void LoadDisabledFolderEntries();

    // --- disabled-entry store (startup/Store.cpp) --------------------------
    static std::wstring QuoteCommandLine(const std::wstring& command);
    void DisableRunEntry(const std::wstring& name, const std::wstring& command,
                         const std::wstring& location);
    void EnableRunEntry(const std::wstring& item, const std::wstring& command,
                        const std::wstring& hkey, const std::wstring& key);
    void DisableFolderEntry(const std::wstring& item, const std::wstring& command,
                            const std::wstring& location);
    void EnableFolderEntry(const std::wstring& item, const std::wstring& storeKeyPath,
                           const std::wstring& command, const std::wstring& location,
                           const std::wstring& backup, const std::wstring& path);
    // The shortcut file of an item in "Common Startup" or "Startup" (any
    // letter case); empty for any other location.
    std::wstring ShortcutPath(const std::wstring& location, const std::wstring& item);

    // --- list page (ListPage.cpp) ------------------------------------------
    void FillStartupListView();
    void RefrushButtonClick();
    void ApplyButtonClick();
    // Appends a list row and gives back its index.
    int AddListRow(const std::wstring& item, const std::wstring& command,
                   const std::wstring& location, bool checked);

    // --- settings (Settings.cpp) ---------------------------------------------
    void LoadSettings();
    void SaveSettings();
    void IntervalCheckBoxClick();
    void StartupCheckBoxClick();
    // Sets a check box, running its handler when the state changes.
    void SetCheckBox(HWND box, bool checked);
    std::wstring ExecutablePath() const;

    // --- start pages (startpage/StartPages.cpp) ----------------------------
    void ReadStartPages();
    // ApplyButton1 writes all four values; one edit box writes its own.
    void ApplyButton1Click(HWND sender);
    void RefrushButton1Click();
    void CheckStartPage(std::wstring live, HWND label, HWND edit);
    std::array<HWND, 4> StartPageEdits() const;

    // --- watch (startup/Watch.cpp) -------------------------------------------
    void TimerTimer();
    // Asks the question in the prompt dialog: 6 Disable, 7 Enable, 2 Cancel.
    int ShowPrompt(const std::wstring& question);
    void WatchStartupPlaces();
    using DisableOperation = void (TDisableForm::*)(const std::wstring&, const std::wstring&,
                                                    const std::wstring&);
    // Disables, asks about or allows each scanned entry whose name is not known.
    void HandleNewEntries(TextTable& known, const TextTable& scanned, DisableOperation disable);

    // The tick's second half (startpage/StartPages.cpp).
    void GuardStartPages();

protected:
    LRESULT HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

private:
    // Layout.cpp
    void CreateControls();
    HWND CreateControl(HWND parent, const wchar_t* className, const wchar_t* caption, DWORD style,
                       int id, int x, int y, int width, int height, DWORD exStyle = 0);
    void OnCommand(int id, int code);
    void OnNotify(const NMHDR& header);
    void Paint();
    // The keyboard focus goes back to the control that had it last.
    void FocusLastControl();

    FormOptions options_;
    DpiScale scale_;
    UniqueFont font_;
    PngBitmap logo_;
    std::unique_ptr<WindowTimer> timer_;
    std::unique_ptr<TrayIcon> trayIcon_;
    std::array<std::unique_ptr<TabPage>, 3> pages_;
    TStartupDlg* prompt_ = nullptr;
    bool reloadPending_ = false;  // a reload asked for during a tick
    std::array<bool, 4> liveStartPageRead_{};  // which values this tick could read
    UINT taskbarCreatedMessage_ = 0;
    HWND lastFocus_ = nullptr;
    bool formCreated_ = false;
    bool destroyed_ = false;
};

// Control ids, for WM_COMMAND.
enum ControlId : int {
    IdOnlineButton = 100,
    IdStartButton,
    IdStopButton,
    IdCloseButton,
    IdPageControl,
    IdSystemRadioGroup,
    IdSystemRadio0,
    IdIERadioGroup = IdSystemRadio0 + 3,
    IdIERadio0,
    IdStartupCheckBox = IdIERadio0 + 3,
    IdIntervalCheckBox,
    IdIntervalEdit,
    IdIntervalLabel,
    IdListView,
    IdRefrushButton,
    IdApplyButton,
    IdIELabel1,
    IdIEEdit1 = IdIELabel1 + 4,
    IdRefrushButton1 = IdIEEdit1 + 4,
    IdApplyButton1,
};

}  // namespace kb
