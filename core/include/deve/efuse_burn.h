// A staged eFuse burn: the record a write would append, checked against the
// map as the fuses hold it now, previewed (what readers will see, the bits it
// takes, the free bits left), programmed through the library's write export,
// and verified by reading the fuses back.
#pragma once

#include "deve/efuse_map.h"
#include "deve/efuse_items.h"
#include "deve/rf_api.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace deve {

// What is to be burnt: one item of the eFuse list, or the MAC address.
struct BurnRequest {
    const EfuseItem *item = nullptr;  // null for the MAC address
    MacAddress mac{};
    std::uint32_t first = 0;   // the item's values as the write export takes them
    std::uint32_t second = 0;
    unsigned type = 0;                 // record type
    std::vector<std::uint8_t> data;    // record data bytes

    std::string name() const;          // the item name, or "MAC"
    std::string value_text() const;    // as readers will show it
};

// The item of the list (any of kEfuseItems) with this name, ignoring case.
const EfuseItem *find_efuse_item(std::string_view name);
// Range of one value of an item: 0-15 for a nibble, 0-255 for a byte.
std::uint32_t item_value_limit(const EfuseItem &item);

// A request, or the reason it is refused.
struct Staging {
    std::optional<BurnRequest> request;
    std::string refusal;
};

// Checks the values of an item (one value for a single-byte item; two for a
// pair, where an item whose second field the list does not offer may omit it
// and keeps the second value stored now) and builds its record.
Staging item_request(const EfuseItem &item, const std::vector<std::uint32_t> &values, const FuseMap &now);
// Refuses the all-zero, broadcast and multicast addresses.
Staging mac_request(const MacAddress &mac);

// Conditions an operator can put on a burn, for lines that retest boards.
struct BurnConditions {
    // Refuse when readers already see a value for the item (a MAC address
    // must not be replaced by accident).
    bool if_blank = false;
    // Refuse unless readers see this value first, as value_text() shows it
    // ("3,5", "140", "00:11:22:33:44:55").
    std::optional<std::string> expect;
};

// The burn planned against the map as the fuses hold it.
struct BurnPlan {
    BurnRequest request;
    FuseMap before;
    FuseMap after;            // the map with the record appended
    unsigned position = 0;    // the record's first bit
    unsigned bits = 0;        // its length
    std::optional<std::string> value_before;  // what readers return now
    std::string value_after;                  // what they will return
    std::string refusal;      // why it must not be burnt; empty when it may
    // The item already reads the value: nothing needs burning (the refusal
    // says so). A retest that asks for what the chip holds has passed.
    bool unchanged = false;

    bool allowed() const { return refusal.empty(); }
};

// Places the record where the library will put it and refuses a burn that
// does not fit, that would cover programmed fuses, or that changes nothing
// readers see (the item already reads that value, marked unchanged, or the
// record would land behind a record that ends the readers' search); then
// the conditions: a value already there with if_blank, another value than
// the one expected. A burn that changes nothing is unchanged whatever the
// conditions say: the chip already holds what was asked for.
BurnPlan plan_burn(const BurnRequest &request, const FuseMap &now, const BurnConditions &conditions = {});

// The outcome of programming a plan.
struct BurnOutcome {
    std::int32_t library_result = -1;   // the write export's result
    std::optional<FuseMap> readback;    // the fuses read after the write
    bool verified = false;              // the readback holds the planned record and readers see the value
    std::string detail;                 // what went wrong, when it did
};

// Calls the request's write export and reads the fuses back.
BurnOutcome execute_burn(RfApi &api, const BurnPlan &plan);
// Compares a readback with the plan.
BurnOutcome check_burn(const BurnPlan &plan, std::int32_t library_result, const std::optional<FuseWords> &readback);

}  // namespace deve
