// The main window's own controls: the frame's buttons, in tab order, and
// the page control with its four pages.
#include <windows.h>
#include <commctrl.h>

#include "platform/NewerWindows.h"
#include "app/services/Elevation.h"
#include "app/MainWindow.h"
#include "app/ProductSite.h"
#include "app/Texts.h"

namespace kb {

RECT MainWindow::FrameFor(const DpiScale& scale) {
    const SIZE client = ClientFor(scale);
    return FrameAround({0, 0, client.cx, client.cy}, kMainStyle, kMainExStyle, scale.Dpi());
}

void MainWindow::LayOutFor(const DpiScale& scale, const RECT* suggested) {
    if (scale.Dpi() == scale_.Dpi()) return;
    scale_ = scale;
    UniqueFont font(CreateUiFont(scale_));
    // The window first: the pages fill the page control's display area.
    PlaceForScale(Handle(), ClientFor(scale_), suggested);
    if (frame_) {
        frame_->Relayout(scale_, font.get());
        if (pages_) pages_->Relayout(scale_, font.get());
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
    const HWND tabs = make.Add({.kind = ControlKind::Tabs, .id = IdPages, .x = 16, .y = 63,
                             .width = 594, .height = 346});
    make.Add({.kind = ControlKind::Button, .text = kProductDomain, .id = IdSiteButton, .x = 16,
              .y = 415, .width = 144, .height = 25},
             [this] { OpenProductSite(); });

    pages_ = std::make_unique<PageSet>(
        tabs, scale_, font_.get(),
        PageSet::Needs{
            .settings = {.policiesChosen = [this](Policy startup,
                                                  Policy startPage) { questions_->FollowPolicies(startup, startPage); },
                         .selfStartChosen = [this](bool on) { ChooseSelfStart(on); },
                         .restartElevated = [this] { RestartElevated(); }},
            .canElevate = !elevated_ && CanElevate(),
            .bench = bench_.get(),
            .watcher = &watch_->Watch(),
            .askingAboutAValue = [this] { return questions_ && questions_->AskingAboutAValue(); }});
}

}  // namespace kb
