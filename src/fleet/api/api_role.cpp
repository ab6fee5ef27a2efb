#include "fleet/api/api_role.h"

namespace kv6::fleet::api {

std::string_view roleName(Role role) {
    switch (role) {
    case Role::Viewer: return "viewer";
    case Role::Operator: return "operator";
    case Role::Admin: return "admin";
    }
    return "viewer";
}

std::optional<Role> roleFromName(std::string_view name) {
    for (const Role role : {Role::Viewer, Role::Operator, Role::Admin})
        if (roleName(role) == name) return role;
    return std::nullopt;
}

bool allows(Role role, Action action, JobKind kind) {
    switch (action) {
    case Action::Read: return true;
    case Action::CancelJob: return role != Role::Viewer;
    case Action::ManageKeys: return role == Role::Admin;
    // Lets in again a module or an address that guessed passwords.
    case Action::ClearLockouts: return role == Role::Admin;
    case Action::QueueJob:
        if (role == Role::Admin) return true;
        // What an operator queues cannot lock anyone out of a module or wipe it.
        return role == Role::Operator && (kind == JobKind::Read || kind == JobKind::Write);
    }
    return false;
}

bool validKeyName(std::string_view name) {
    if (name.empty() || name.size() > 64) return false;
    for (const char c : name)
        if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' || c == '_' ||
              c == '@' || c == '-'))
            return false;
    return true;
}

}  // namespace kv6::fleet::api
