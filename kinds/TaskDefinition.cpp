#include "kinds/TaskDefinition.h"

#include <algorithm>

#include "platform/Error.h"
#include "platform/Xml.h"

namespace kb {

namespace {

// The text of a child element; empty when there is none.
std::wstring ChildText(const XmlElement& parent, std::wstring_view name) {
    const std::optional<XmlElement> child = parent.Child(name);
    return child ? child->Text() : std::wstring();
}

// An xs:boolean child: "true" or "1" is true, "false" or "0" false; absent
// or anything else, the schema's default.
bool FlagOf(const XmlElement& parent, std::wstring_view name, bool byDefault) {
    const std::wstring text = ChildText(parent, name);
    if (text == L"true" || text == L"1") return true;
    if (text == L"false" || text == L"0") return false;
    return byDefault;
}

TaskDefinition::Action ActionOf(const XmlElement& element) {
    TaskDefinition::Action action;
    const std::wstring name = element.LocalName();
    if (name == L"Exec") {
        action.kind = TaskDefinition::Action::Kind::Exec;
        action.command = ChildText(element, L"Command");
        action.arguments = ChildText(element, L"Arguments");
        action.workingDirectory = ChildText(element, L"WorkingDirectory");
    } else if (name == L"ComHandler") {
        action.kind = TaskDefinition::Action::Kind::ComHandler;
        action.classId = ChildText(element, L"ClassId");
        action.data = ChildText(element, L"Data");
    } else {
        action.element = name;
    }
    return action;
}

void TakePrincipal(const XmlElement& task, const std::wstring& context, TaskDefinition& definition) {
    const std::optional<XmlElement> principals = task.Child(L"Principals");
    if (!principals) return;
    const std::vector<XmlElement> all = principals->Children(L"Principal");
    if (all.empty()) return;
    const auto named = std::find_if(all.begin(), all.end(), [&](const XmlElement& p) {
        return !context.empty() && p.Attribute(L"id").value_or(L"") == context;
    });
    const XmlElement& principal = named != all.end() ? *named : all.front();
    definition.userId = ChildText(principal, L"UserId");
    definition.groupId = ChildText(principal, L"GroupId");
    definition.logonType = ChildText(principal, L"LogonType");
    definition.highestRights = ChildText(principal, L"RunLevel") == L"HighestAvailable";
}

}  // namespace

bool TaskDefinition::StartsByItself() const {
    const bool starts = std::any_of(actions.begin(), actions.end(),
                                    [](const Action& a) { return a.kind != Action::Kind::Other; });
    const bool fires = std::any_of(triggers.begin(), triggers.end(), [](const Trigger& t) { return t.enabled; });
    return enabled && starts && fires;
}

std::optional<TaskDefinition> ParseTaskDefinition(const std::wstring& xml) {
    try {
        const XmlElement task = ParseXml(xml);
        if (task.LocalName() != L"Task" || task.Namespace() != kTaskNamespace) return std::nullopt;
        TaskDefinition definition;
        if (const std::optional<XmlElement> info = task.Child(L"RegistrationInfo")) {
            definition.author = ChildText(*info, L"Author");
            definition.uri = ChildText(*info, L"URI");
            definition.description = ChildText(*info, L"Description");
        }
        if (const std::optional<XmlElement> settings = task.Child(L"Settings")) {
            definition.enabled = FlagOf(*settings, L"Enabled", true);
            definition.hidden = FlagOf(*settings, L"Hidden", false);
        }
        if (const std::optional<XmlElement> triggers = task.Child(L"Triggers"))
            for (const XmlElement& trigger : triggers->Children())
                if (trigger.Namespace() == kTaskNamespace)
                    definition.triggers.push_back({trigger.LocalName(), FlagOf(trigger, L"Enabled", true)});
        std::wstring context;
        if (const std::optional<XmlElement> actions = task.Child(L"Actions")) {
            context = actions->Attribute(L"Context").value_or(L"");
            for (const XmlElement& action : actions->Children())
                if (action.Namespace() == kTaskNamespace) definition.actions.push_back(ActionOf(action));
        }
        TakePrincipal(task, context, definition);
        return definition;
    } catch (const Error&) {
        return std::nullopt;  // not well-formed: no definition
    }
}

}  // namespace kb
