#include "app/AdministratorPolicy.h"

#include <algorithm>

#include "app/SettingsPage.h"
#include "app/Texts.h"
#include "app/services/HistoryKeeper.h"
#include "platform/Clock.h"
#include "platform/Error.h"
#include "platform/ShowableText.h"
#include "policy/AdminPolicy.h"

namespace kb {

namespace {

// Why a value of the policy is ignored: "is ..." after its name and key.
std::wstring WhyIgnored(const AdminPolicy::Ignored& value) {
    using Why = AdminPolicy::Ignored::Why;
    switch (value.why) {
    case Why::Unreadable: break;
    case Why::NotANumber: return UiText(IDS_POLICY_NOT_A_NUMBER);
    case Why::OutOfRange:
        return UiText(IDS_POLICY_OUT_OF_RANGE, {std::to_wstring(value.number), std::to_wstring(value.lowest),
                                                 std::to_wstring(value.highest)});
    }
    return UiText(IDS_POLICY_UNREADABLE);
}

}  // namespace

void AdministratorPolicy::Follow() {
    const AdminPolicy now = ReadAdminPolicy();
    // The settings page holds the policy in force.
    const AdminPolicy before = needs_.settings.Admin();
    if (read_ && now == before) {
        pending_.reset();
        return;
    }
    if (read_ && !Held(now)) return;
    pending_.reset();
    // A wrong value is said once while it stays wrong; nothing else changes for it.
    for (const AdminPolicy::Ignored& value : now.ignored)
        if (std::find(before.ignored.begin(), before.ignored.end(), value) == before.ignored.end())
            needs_.notice(UiText(IDS_POLICY_VALUE_IGNORED, {Showable(value.name), value.where, WhyIgnored(value)}));
    // The first reading is no change: the settings start as it says.
    if (read_) {
        std::vector<std::wstring> changes;
        for (const AdminPolicyChange& change : AdminPolicyChanges(before, now))
            changes.push_back(change.now ? UiText(IDS_POLICY_VALUE_SET, {change.name, std::to_wstring(*change.now)})
                                         : UiText(IDS_POLICY_VALUE_NOT_SET, {change.name}));
        if (!changes.empty()) needs_.history.RecordAdminPolicy(changes);
    }
    read_ = true;

    needs_.settings.SetAdminPolicy(now);
    // The administrator's interval, or the user's own again once it goes.
    if (const int seconds = needs_.settings.Effective().intervalSeconds; seconds > 0) needs_.interval(seconds);
    FollowSelfStart();
    needs_.lockQuit(now.QuitLocked());
}

bool AdministratorPolicy::Held(const AdminPolicy& now) {
    const double at = MillisecondsNow();
    if (!pending_ || !(pending_->first == now)) pending_.emplace(now, at);
    const double held = at - pending_->second;
    if (held >= kQuietMs) return true;
    if (needs_.lookAgain) needs_.lookAgain(kQuietMs - static_cast<unsigned>(held));
    return false;
}

void AdministratorPolicy::FollowSelfStart() {
    const AdminPolicy& policy = needs_.settings.Admin();
    if (!policy.selfStart || !needs_.followSelfStart) return;
    needs_.followSelfStart(*policy.selfStart);
    selfStartShown_ = true;
}

}  // namespace kb
