#include "mac_pool.h"

#include "deve/efuse_items.h"

#include <array>
#include <cstdio>

namespace deve::cli {

namespace {

// Bit 0 of byte 0 marks a group (multicast or broadcast) address.
constexpr MacNumber kGroupBit = MacNumber{1} << 40;
constexpr unsigned kFirstByteShift = 40;

struct StateName {
    MacState state;
    const char *name;
};
constexpr std::array<StateName, 5> kStateNames{{
    {MacState::Free, "free"},
    {MacState::Reserved, "reserved"},
    {MacState::Burned, "burned"},
    {MacState::Spoiled, "spoiled"},
    {MacState::Released, "released"},
}};

// The changes of state an address may make. Released goes back to free by
// being reserved again. Free goes straight to burned when a board's address
// is adopted; spoiled and released become burned only when the board they
// were reserved for turns out to hold them.
struct Change {
    MacState from;
    MacState to;
};
constexpr std::array<Change, 9> kChanges{{
    {MacState::Free, MacState::Reserved},
    {MacState::Free, MacState::Burned},
    {MacState::Reserved, MacState::Burned},
    {MacState::Reserved, MacState::Spoiled},
    {MacState::Reserved, MacState::Released},
    {MacState::Released, MacState::Reserved},
    {MacState::Released, MacState::Free},
    {MacState::Released, MacState::Burned},
    {MacState::Spoiled, MacState::Burned},
}};

}  // namespace

MacNumber mac_number(const MacAddress &mac) {
    MacNumber n = 0;
    for (std::uint8_t b : mac) {
        n = (n << 8) | b;
    }
    return n;
}

MacAddress mac_of(MacNumber number) {
    MacAddress mac{};
    for (std::size_t i = mac.size(); i-- > 0;) {
        mac[i] = static_cast<std::uint8_t>(number & 0xFFu);
        number >>= 8;
    }
    return mac;
}

std::string mac_text(MacNumber number) {
    const MacAddress m = mac_of(number);
    char text[18];
    std::snprintf(text, sizeof text, "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4], m[5]);
    return text;
}

std::optional<MacNumber> parse_mac_number(const std::string &text) {
    const std::optional<MacAddress> mac = parse_mac_text(text);
    if (!mac) {
        return std::nullopt;
    }
    return mac_number(*mac);
}

std::optional<std::string> refuse_range(const MacRange &range, const std::vector<PoolRange> &existing) {
    const std::string shown = mac_text(range.first) + " to " + mac_text(range.last);
    if (range.first >= kMacNumberLimit || range.last >= kMacNumberLimit) {
        return shown + " is not a range of 48-bit addresses";
    }
    if (range.last < range.first) {
        return shown + " is reversed: the first address comes after the last";
    }
    if (range.first == 0) {
        return shown + " holds the all-zero address, which is no station's address";
    }
    // Byte 0 is even for a station address; a range that crosses into the
    // next value of byte 0 holds group addresses.
    if ((range.first & kGroupBit) != 0 || (range.first >> kFirstByteShift) != (range.last >> kFirstByteShift)) {
        return shown + " holds multicast addresses (bit 0 of the first byte set), which are no station's address";
    }
    for (const PoolRange &r : existing) {
        if (r.range.overlaps(range)) {
            return shown + " overlaps pool " + r.pool + "'s range " + mac_text(r.range.first) + " to " +
                   mac_text(r.range.last) + ": an address may belong to one pool only";
        }
    }
    return std::nullopt;
}

const char *state_name(MacState state) {
    for (const StateName &s : kStateNames) {
        if (s.state == state) {
            return s.name;
        }
    }
    return "?";
}

std::optional<MacState> parse_state(const std::string &name) {
    for (const StateName &s : kStateNames) {
        if (name == s.name) {
            return s.state;
        }
    }
    return std::nullopt;
}

bool may_change(MacState from, MacState to) {
    for (const Change &c : kChanges) {
        if (c.from == from && c.to == to) {
            return true;
        }
    }
    return false;
}

bool may_be_reserved(MacState state) { return may_change(state, MacState::Reserved); }

HeldDecision decide_held(MacNumber held, const std::optional<MacRow> &row, const BoardId &board, bool adopt) {
    HeldDecision d;
    const std::string mac = mac_text(held);
    const bool ours = row && row->board.serial == board.serial;
    if (ours) {
        d.kind = HeldDecision::Kind::Unchanged;
        d.record_burned = row->state != MacState::Burned;
        d.message = mac + " is this board's address in pool " + row->pool;
        return d;
    }
    if (row && row->state != MacState::Released && row->state != MacState::Free) {
        d.kind = HeldDecision::Kind::Duplicate;
        d.message = "duplicate MAC: this board holds " + mac + ", which pool " + row->pool + " has " +
                    state_name(row->state) + " for board " + row->board.serial +
                    (row->board.chip_id.empty() ? "" : " (chip " + row->board.chip_id + ")") +
                    (row->run_id.empty() ? "" : ", run " + row->run_id);
        return d;
    }
    if (adopt) {
        d.kind = HeldDecision::Kind::Adopt;
        d.record_burned = true;
        d.message = "this board already holds " + mac + ", which no board had from the pools: adopted as burned";
        return d;
    }
    d.kind = HeldDecision::Kind::Unknown;
    d.message = "this board already holds " + mac + ", which " +
                (row ? "pool " + row->pool + " gave to no board" : std::string("no pool knows")) +
                ": not replaced (give --adopt to record it as this board's address)";
    return d;
}

MacState resolve_reservation(MacNumber reserved, const std::optional<MacNumber> &held) {
    return held && *held == reserved ? MacState::Burned : MacState::Released;
}

MacState burn_outcome_state(bool programming_began, bool read_back_shows_it) {
    if (read_back_shows_it) {
        return MacState::Burned;
    }
    return programming_began ? MacState::Spoiled : MacState::Released;
}

std::optional<std::chrono::seconds> parse_duration(const std::string &text) {
    if (text.empty() || text.size() > 12) {
        return std::nullopt;
    }
    std::size_t digits = 0;
    std::int64_t value = 0;
    while (digits < text.size() && text[digits] >= '0' && text[digits] <= '9') {
        value = value * 10 + (text[digits] - '0');
        ++digits;
    }
    if (digits == 0 || text.size() - digits > 1) {
        return std::nullopt;
    }
    std::int64_t unit = 1;
    if (digits < text.size()) {
        switch (text[digits]) {
        case 's': unit = 1; break;
        case 'm': unit = 60; break;
        case 'h': unit = 3600; break;
        case 'd': unit = 86400; break;
        default: return std::nullopt;
        }
    }
    return std::chrono::seconds(value * unit);
}

}  // namespace deve::cli
