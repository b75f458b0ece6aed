#include "sim/faults.hpp"

namespace sim {

namespace {

// Each fault's name, in the enum's order.
constexpr std::array fault_names{"none", "silence", "header", "payload", "stray", "cut"};
static_assert(fault_names.size() == fault_kinds.size() + 1, "a name for each fault");

} // namespace

const char* fault_name(fault kind)
{
    // cppcheck-suppress CastIntegerToAddressAtReturn ; it returns an array element, a pointer
    return fault_names[static_cast<std::size_t>(kind)];
}

std::optional<fault> fault_from_name(std::string_view name)
{
    for (std::size_t i = 0; i < fault_names.size(); ++i) {
        if (name == fault_names[i]) {
            return static_cast<fault>(i);
        }
    }
    return std::nullopt;
}

std::string fault_list()
{
    std::string list;
    for (const fault kind : fault_kinds) {
        list += (list.empty() ? "" : ", ") + std::string(fault_name(kind));
    }
    return list;
}

faulted_reply apply_fault(unit::bytes reply, fault kind)
{
    switch (kind) {
    case fault::silence: return {};
    case fault::header: unit::spoil_header_check(reply); break;
    case fault::payload: unit::spoil_payload_check(reply); break;
    case fault::stray: reply.push_back(stray_byte); break;
    case fault::cut: {
        const auto kept = static_cast<std::ptrdiff_t>(reply.size() / 2);
        return {unit::bytes(reply.begin(), reply.begin() + kept),
                unit::bytes(reply.begin() + kept, reply.end())};
    }
    case fault::none: break;
    }
    return {std::move(reply), {}};
}

} // namespace sim
