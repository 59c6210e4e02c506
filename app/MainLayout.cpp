// The main window's own controls: the frame's buttons, in tab order, and
// the page control with its four pages.
#include <windows.h>
#include <commctrl.h>

#include "app/services/Elevation.h"
#include "app/MainWindow.h"
#include "app/ProductSite.h"
#include "app/Texts.h"

namespace kb {

namespace {

constexpr UINT kPageCaptions[] = {IDS_TAB_SETTINGS, IDS_TAB_STARTUP, IDS_TAB_START_PAGES, IDS_TAB_HISTORY};

}  // namespace

RECT MainWindow::FrameFor(const DpiScale& scale) {
    RECT frame{0, 0, scale(624), scale(454)};
    ::AdjustWindowRectEx(&frame, kMainStyle, FALSE, kMainExStyle);
    return frame;
}

void MainWindow::LayOutFor(const DpiScale& scale, const RECT* suggested) {
    if (scale.Dpi() == scale_.Dpi()) return;
    scale_ = scale;
    UniqueFont font(CreateUiFont(scale_));
    // The window first: the pages fill the page control's display area.
    PlaceForScale(Handle(), FrameFor(scale_), suggested);
    if (frame_) {
        frame_->Relayout(scale_, font.get());
        const PageFrame frame{pageControl_, scale_, font.get()};
        for (Page* page : std::initializer_list<Page*>{settingsTab_.get(), listTab_.get(), startPagesTab_.get(),
                                                       historyTab_.get()})
            if (page) page->Relayout(frame);
    }
    // The controls hold the new font before the old one goes.
    font_ = std::move(font);
    ::InvalidateRect(Handle(), nullptr, TRUE);
}

void MainWindow::CreateControls() {
    font_.reset(CreateUiFont(scale_));
    frame_ = std::make_unique<ControlSet>(Handle(), scale_, font_.get());
    ControlSet& make = *frame_;
    startButton_ = Control(make.Add({.kind = ControlKind::Button, .text = UiText(IDS_START_BUTTON).c_str(),
                                     .id = IdStartButton, .x = 291, .y = 415, .width = 144,
                                     .height = 25},
                                    [this] { StartWatching(); }));
    quitButton_ = Control(make.Add({.kind = ControlKind::Button, .text = UiText(IDS_QUIT_BUTTON).c_str(),
                                    .id = IdQuitButton, .x = 450, .y = 415, .width = 75, .height = 25},
                                   [this] { Quit(); }));
    make.Add({.kind = ControlKind::Button, .text = UiText(IDS_CLOSE_BUTTON).c_str(), .id = IdCloseButton, .x = 531,
              .y = 415, .width = 75, .height = 25},
             [this] { HideToTray(); });
    pageControl_ = make.Add({.kind = ControlKind::Tabs, .id = IdPages, .x = 16, .y = 63,
                             .width = 594, .height = 346});
    make.Add({.kind = ControlKind::Button, .text = kProductDomain, .id = IdSiteButton, .x = 16,
              .y = 415, .width = 144, .height = 25},
             [this] { OpenProductSite(); });

    for (int i = 0; i < static_cast<int>(std::size(kPageCaptions)); ++i) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<wchar_t*>(UiText(kPageCaptions[i]).c_str());
        TabCtrl_InsertItem(pageControl_, i, &item);
    }
    const PageFrame frame{pageControl_, scale_, font_.get()};
    settingsTab_ = std::make_unique<SettingsPage>(
        frame,
        SettingsPage::Actions{
            .policiesChosen = [this](Policy startup, Policy startPage) { questions_->FollowPolicies(startup, startPage); },
            .selfStartChosen =
                [this](bool on) {
                    own_->SetAtLogon(Handle(), on);
                    // The program's own entry is known to the watch from now on.
                    listTab_->Reload();
                },
            .restartElevated = [this] { RestartElevated(); }},
        !elevated_ && CanElevate());
    listTab_ = std::make_unique<ListPage>(frame, *bench_);
    startPagesTab_ = std::make_unique<StartPagesPage>(frame, watch_->Watch());
    startPagesTab_->SetAsking([this] { return questions_ && questions_->AskingAboutAValue(); });
    historyTab_ = std::make_unique<HistoryPage>(frame, *bench_, *listTab_);
    ShowPage(0);
}

}  // namespace kb
