#pragma once
// The settings page: the settings (the model the watch and the file read)
// shown in its controls and changed by their handlers. No check reads a
// control: each handler changes the model and says what changed.
#include <functional>
#include <optional>

#include "app/Page.h"
#include "app/RadioGroup.h"
#include "app/services/Settings.h"
#include "policy/AdminPolicy.h"

namespace kb {

class SettingsPage : public Page {
public:
    // What the page's handlers ask of the program.
    struct Actions {
        // The policies chosen now: the watch follows at once.
        std::function<void(Policy startup, Policy startPage)> policiesChosen;
        // Makes or removes the logon start, off the window's thread: the box
        // stays greyed until SelfStartDone. Raises when it could not begin.
        std::function<void(bool on)> selfStartChosen;
        std::function<void()> restartElevated;
    };

    // Restarting with administrator rights is offered only to a user who
    // may have them and has not.
    SettingsPage(const PageFrame& frame, Actions actions, bool offerElevation);

    // Shows these settings; they are the page's model from now on. No
    // handler runs but the policies'.
    void Show(const Settings& settings);
    // What the administrator set overrides the user's own settings, whose
    // controls are greyed; the user's own stay in the model for when the
    // policy goes. The watch follows at once.
    void SetAdminPolicy(const AdminPolicy& policy);
    // The user's own settings: what the file keeps.
    const Settings& Current() const noexcept { return settings_; }
    // What is in force: the user's own with the administrator's over them.
    Settings Effective() const;
    const AdminPolicy& Admin() const noexcept { return adminPolicy_; }
    // The settings with the interval box's text taken into them (a text that
    // is not a number keeps fallbackSeconds); the box shows what was taken.
    const Settings& TakeIntervalBox(int fallbackSeconds);

    // Chooses the groups' items as clicks would: the watch follows at once.
    static constexpr int kKeepPolicy = -2;  // leaves that group as it is
    void ChoosePolicies(int startupItem, int startPageItem = kKeepPolicy);
    // Set the check boxes as clicks would; what a handler raises reaches
    // the caller.
    void SetSelfStart(bool on) { Children().SetCheck(ui_.selfStartBox, on); }
    // Shows what Windows does at logon, without its handler.
    void ShowSelfStart(bool on) {
        settings_.selfStart = on;
        ui_.selfStartBox.SetChecked(on);
    }
    // The logon start chosen by a click was made or removed, or not: the box
    // shows what Windows does now (none: as before) and can be clicked again.
    void SelfStartDone(std::optional<bool> registered);
    bool SelfStartUnderWay() const noexcept { return selfStartUnderWay_; }
    void SetIntervalUnlocked(bool on) { Children().SetCheck(ui_.intervalBox, on); }

    struct Ui {
        RadioGroup startupPolicy, startPagePolicy;
        CheckBox selfStartBox, intervalBox;
        Control restartElevated, intervalEdit, intervalLabel, administratorLine;
    };
    const Ui& Controls() const noexcept { return ui_; }

private:
    void MakePolicyGroup(RadioGroup& group, const ControlArgs& box,
                         const UINT (&items)[RadioGroup::kItems]);
    // Shows what is in force, and greys what the administrator set.
    void ShowEffective();
    void OnPolicyClicked();
    void OnSelfStartClicked();
    void OnIntervalBoxClicked();

    Actions actions_;
    Ui ui_;
    Settings settings_;
    AdminPolicy adminPolicy_;
    bool selfStartUnderWay_ = false;
};

}  // namespace kb
