#include "app/SettingsPage.h"

#include "app/ControlIds.h"
#include "platform/IntText.h"
#include "app/Texts.h"

namespace kb {

namespace {

constexpr UINT kStartupPolicyItems[RadioGroup::kItems] = {
    IDS_STARTUP_POLICY_DISABLE, IDS_STARTUP_POLICY_ASK, IDS_STARTUP_POLICY_ALLOW};
constexpr UINT kStartPagePolicyItems[RadioGroup::kItems] = {
    IDS_START_PAGE_POLICY_DISABLE, IDS_START_PAGE_POLICY_ASK, IDS_START_PAGE_POLICY_ALLOW};

}  // namespace

SettingsPage::SettingsPage(const PageFrame& frame, Actions actions, bool offerElevation)
    : Page(frame), actions_(std::move(actions)) {
    auto& make = Children();
    MakePolicyGroup(ui_.startupPolicy,
                    {.kind = ControlKind::GroupBox, .text = UiText(IDS_STARTUP_GROUP).c_str(),
                     .id = IdStartupPolicy, .x = 12, .y = 12, .width = 560, .height = 110},
                    kStartupPolicyItems);
    MakePolicyGroup(ui_.startPagePolicy,
                    {.kind = ControlKind::GroupBox,
                     .text = UiText(IDS_START_PAGE_GROUP).c_str(),
                     .id = IdStartPagePolicy, .x = 12, .y = 138, .width = 560, .height = 110},
                    kStartPagePolicyItems);
    ui_.selfStartBox = CheckBox(make.Add({.kind = ControlKind::CheckBox,
                                          .text = UiText(IDS_SELF_START).c_str(),
                                          .id = IdSelfStartBox, .x = 12, .y = 262, .width = 370,
                                          .height = 17},
                                         [this] { OnSelfStartClicked(); }));
    ui_.restartElevated = Control(make.Add({.kind = ControlKind::Button,
                                            .text = UiText(IDS_RESTART_ELEVATED).c_str(),
                                            .id = IdRestartElevated, .x = 392, .y = 258,
                                            .width = 180, .height = 25},
                                           [this] { actions_.restartElevated(); }));
    ui_.intervalBox = CheckBox(make.Add({.kind = ControlKind::CheckBox,
                                         .text = UiText(IDS_INTERVAL).c_str(),
                                         .id = IdIntervalBox, .x = 12, .y = 285, .width = 253,
                                         .height = 17},
                                        [this] { OnIntervalBoxClicked(); }));
    ui_.intervalEdit = Control(make.Add({.kind = ControlKind::RightAlignedEdit, .text = L"3",
                                         .id = IdIntervalEdit, .x = 271, .y = 283, .width = 30,
                                         .height = 21, .after = IdIntervalBox}));
    ui_.intervalLabel = Control(make.Add(
        {.kind = ControlKind::Label, .text = UiText(IDS_SECONDS).c_str(), .id = IdIntervalLabel, .x = 307, .y = 286,
         .after = IdIntervalEdit}));
    // Between the two groups: the one free line of the page.
    ui_.administratorLine = Control(make.Add({.kind = ControlKind::Label,
                                              .text = UiText(IDS_SET_BY_ADMINISTRATOR).c_str(),
                                              .id = IdAdministratorLine, .x = 14, .y = 124,
                                              .width = 556, .height = 13}));
    ui_.administratorLine.Show(false);

    // The interval box opens only with its check box.
    ui_.intervalEdit.Enable(false);
    ui_.restartElevated.SetShield(offerElevation);
    ui_.restartElevated.Show(offerElevation);
}

void SettingsPage::MakePolicyGroup(RadioGroup& group, const ControlArgs& box,
                                   const UINT (&items)[RadioGroup::kItems]) {
    auto& make = Children();
    make.Add(box);
    // Three items spread evenly below the caption; any click is the policy's.
    const int rowHeight = (box.height - 20) / RadioGroup::kItems;
    std::array<HWND, RadioGroup::kItems> buttons{};
    for (int i = 0; i < RadioGroup::kItems; ++i)
        buttons[i] = make.Add({.kind = i == 0 ? ControlKind::FirstRadioButton
                                              : ControlKind::RadioButton,
                               .text = UiText(items[i]).c_str(),
                               .id = box.id + 1 + i,
                               .x = box.x + 8,
                               .y = box.y + 16 + i * rowHeight + (rowHeight - 17) / 2,
                               .width = box.width - 16,
                               .height = 17},
                              [this] { OnPolicyClicked(); });
    group.SetItems(buttons);
    group.SetItemIndex(0);
}

void SettingsPage::Show(const Settings& settings) {
    settings_ = settings;
    ShowEffective();
}

void SettingsPage::SetAdminPolicy(const AdminPolicy& policy) {
    adminPolicy_ = policy;
    ShowEffective();
}

Settings SettingsPage::Effective() const {
    Settings effective = settings_;
    if (adminPolicy_.startupPolicy) effective.startupPolicy = *adminPolicy_.startupPolicy;
    if (adminPolicy_.startPagePolicy) effective.startPagePolicy = *adminPolicy_.startPagePolicy;
    if (adminPolicy_.intervalSeconds) {
        effective.intervalUnlocked = true;
        effective.intervalSeconds = *adminPolicy_.intervalSeconds;
    }
    return effective;
}

void SettingsPage::ShowEffective() {
    const Settings shown = Effective();
    ui_.startupPolicy.SetItemIndex(shown.startupPolicy);
    ui_.startPagePolicy.SetItemIndex(shown.startPagePolicy);
    OnPolicyClicked();  // as shown: an index out of range shows as what it means
    ui_.selfStartBox.SetChecked(shown.selfStart);
    ui_.intervalBox.SetChecked(shown.intervalUnlocked);
    OnIntervalBoxClicked();
    ui_.intervalEdit.SetText(std::to_wstring(shown.intervalSeconds));
    ui_.startupPolicy.Enable(!adminPolicy_.startupPolicy);
    ui_.startPagePolicy.Enable(!adminPolicy_.startPagePolicy);
    ui_.selfStartBox.Enable(!adminPolicy_.selfStart && !selfStartUnderWay_);
    ui_.intervalBox.Enable(!adminPolicy_.intervalSeconds);
    // Quit and Start, greyed on the frame, are said here too.
    ui_.administratorLine.Show(adminPolicy_.SetsAnything());
}

const Settings& SettingsPage::TakeIntervalBox(int fallbackSeconds) {
    // The administrator's interval is not the user's to keep.
    if (adminPolicy_.intervalSeconds) return settings_;
    // The box is the model's only once taken (at Start, and to be saved).
    settings_.intervalSeconds = StrToIntDef(ui_.intervalEdit.Text(), fallbackSeconds);
    ui_.intervalEdit.SetText(std::to_wstring(settings_.intervalSeconds));
    return settings_;
}

void SettingsPage::ChoosePolicies(int startupItem, int startPageItem) {
    if (startupItem != kKeepPolicy) ui_.startupPolicy.SetItemIndex(startupItem);
    if (startPageItem != kKeepPolicy) ui_.startPagePolicy.SetItemIndex(startPageItem);
    OnPolicyClicked();
}

void SettingsPage::OnPolicyClicked() {
    if (!adminPolicy_.startupPolicy) settings_.startupPolicy = ui_.startupPolicy.ItemIndex();
    if (!adminPolicy_.startPagePolicy) settings_.startPagePolicy = ui_.startPagePolicy.ItemIndex();
    const Settings effective = Effective();
    actions_.policiesChosen(PolicyOf(effective.startupPolicy), PolicyOf(effective.startPagePolicy));
}

void SettingsPage::OnIntervalBoxClicked() {
    if (!adminPolicy_.intervalSeconds) settings_.intervalUnlocked = ui_.intervalBox.Checked();
    // A disabled edit box draws on the button face, an enabled one on the window colour.
    ui_.intervalEdit.Enable(settings_.intervalUnlocked && !adminPolicy_.intervalSeconds);
    ::InvalidateRect(ui_.intervalEdit, nullptr, TRUE);
}

void SettingsPage::OnSelfStartClicked() {
    const bool on = ui_.selfStartBox.Checked();
    // Greyed while it is being done, so a second click cannot cross the first.
    selfStartUnderWay_ = true;
    ui_.selfStartBox.Enable(false);
    try {
        actions_.selfStartChosen(on);
    } catch (...) {
        SelfStartDone(!on);
        throw;
    }
}

void SettingsPage::SelfStartDone(std::optional<bool> registered) {
    selfStartUnderWay_ = false;
    // What Windows does now; where that could not be told, what it did
    // before the click. Its handler does not run again for that.
    ShowSelfStart(registered.value_or(settings_.selfStart));
    ui_.selfStartBox.Enable(!adminPolicy_.selfStart);
}

}  // namespace kb
