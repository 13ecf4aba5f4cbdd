// "MAC Address" and "efuse": reading records, and programming them as a
// staged burn: the record planned against the fuses as they are, refused with
// the reason or previewed for the operator's confirmation, programmed, and
// read back.
#include "deve/dialog.h"

#include "deve/efuse_items.h"
#include "deve/fuse_picture.h"
#include "deve/resource.h"
#include "deve/text.h"

#include <array>

namespace deve {

namespace {

constexpr int kMacBytes[] = {IDC_MAC_BYTE0, IDC_MAC_BYTE1, IDC_MAC_BYTE2,
                             IDC_MAC_BYTE3, IDC_MAC_BYTE4, IDC_MAC_BYTE5};

// The item at a list position, or null.
const EfuseItem *item_at(int position) {
    if (position < 0 || position >= static_cast<int>(kEfuseItems.size())) {
        return nullptr;
    }
    return &kEfuseItems[static_cast<std::size_t>(position)];
}

// The map as the fuses hold it now; nothing when the controller does not
// finish its read cycle.
std::optional<FuseMap> read_map(RfApi &api) {
    const std::optional<FuseWords> words = read_fuse_words(api);
    if (!words) {
        return std::nullopt;
    }
    return decode_fuse_map(*words);
}

constexpr const char *kUnreadable = "the eFuse could not be read: the controller never completed a read cycle";

}  // namespace

std::string burn_preview(const BurnPlan &plan) {
    return "Program this record into the eFuse?\n\n" + fuse_cell_tip(plan.after, plan.position) +
           "\nReaders see: " + plan.value_before.value_or("nothing") + " now, " + plan.value_after +
           " after.\nFree bits: " + decimal(plan.before.free_bits()) + " now, " + decimal(plan.after.free_bits()) +
           " after.\n\neFuse bits can be set but never cleared: this cannot be undone.";
}

std::string burn_result(const BurnPlan &plan, const BurnOutcome &outcome) {
    const std::string name = plan.request.name();
    if (outcome.verified) {
        return name + " programmed and verified: readers now see " + plan.value_after + ". Free bits: " +
               decimal(outcome.readback->free_bits()) + ".";
    }
    const MapRecord *seen = outcome.readback ? outcome.readback->current(plan.request.type) : nullptr;
    return name + " was not programmed as planned: " + outcome.detail + ". Readers see " +
           (seen != nullptr ? record_value_text(seen->type, seen->data) : std::string("nothing")) + ".";
}

void DeveDialog::OnBnClickedMacRead() {
    UpdateData(true);
    Field(IDC_MAC_TEXT) = read_mac(api_);
    UpdateData(false);
    if (observer_ != nullptr) {
        observer_->fuses_touched();
    }
}

void DeveDialog::OnBnClickedMacWrite() {
    UpdateData(true);
    std::array<std::string, 6> texts;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        texts[i] = Field(kMacBytes[i]);
    }
    const Staging staging = mac_request(parse_mac(texts));
    if (!staging.request) {
        RefuseBurn(staging.refusal, IDC_MAC_TEXT);
        return;
    }
    const std::optional<FuseMap> now = read_map(api_);
    if (!now) {
        RefuseBurn(kUnreadable, IDC_MAC_TEXT);
        return;
    }
    Burn(staging, *now, IDC_MAC_TEXT);
}

void DeveDialog::OnCbnSelchangeEfuseItem() {
    const EfuseItem *item = item_at(Selection(IDC_EFUSE_ITEM));
    if (item == nullptr) {
        return;
    }
    UpdateData(true);
    surface_.set_text(IDC_EFUSE_FIRST_LABEL, item->first_label);
    surface_.set_text(IDC_EFUSE_SECOND_LABEL, item->second_label);
    // A disabled field keeps its text.
    surface_.enable(IDC_EFUSE_FIRST, item->first_enabled);
    surface_.enable(IDC_EFUSE_SECOND, item->second_enabled);
    Field(IDC_EFUSE_RANGE) = item->range_text;
    UpdateData(false);
}

// The values of the fields the item offers; a pair item without a second
// field keeps the second value stored now.
void DeveDialog::OnBnClickedEfuseWrite() {
    const EfuseItem *item = item_at(Selection(IDC_EFUSE_ITEM));
    if (item == nullptr) {
        return;
    }
    UpdateData(true);
    std::vector<std::uint32_t> values{ParseField(IDC_EFUSE_FIRST, 10)};
    if (!item->single_value && item->second_enabled) {
        values.push_back(ParseField(IDC_EFUSE_SECOND, 10));
    }
    const std::optional<FuseMap> now = read_map(api_);
    if (!now) {
        RefuseBurn(kUnreadable, IDC_EFUSE_RESULT);
        return;
    }
    Burn(item_request(*item, values, *now), *now, IDC_EFUSE_RESULT);
}

void DeveDialog::Burn(const Staging &staging, const FuseMap &now, int result_id) {
    if (!staging.request) {
        RefuseBurn(staging.refusal, result_id);
        return;
    }
    const BurnPlan plan = plan_burn(*staging.request, now);
    if (!plan.allowed()) {
        RefuseBurn(plan.refusal, result_id);
        return;
    }
    if (!surface_.confirm("Program eFuse", burn_preview(plan), "Program")) {
        return;
    }
    const BurnOutcome outcome = execute_burn(api_, plan);
    Field(result_id) = result_text(outcome.library_result);
    UpdateData(false);
    if (observer_ != nullptr) {
        observer_->fuses_touched();
    }
    Tell(outcome.verified ? MessageKind::Information : MessageKind::Warning, burn_result(plan, outcome));
}

// Nothing is programmed; the result field says the write failed and the
// message box why.
void DeveDialog::RefuseBurn(const std::string &reason, int result_id) {
    Field(result_id) = result_text(-1);
    UpdateData(false);
    Tell(MessageKind::Warning, "Nothing was programmed: " + reason + ".");
}

void DeveDialog::OnBnClickedEfuseRead() {
    const EfuseItem *item = item_at(Selection(IDC_EFUSE_ITEM));
    if (item == nullptr) {
        return;
    }
    UpdateData(true);
    const ItemReading reading = read_item(api_, *item);
    Field(IDC_EFUSE_RESULT) = reading.values;
    Field(IDC_EFUSE_RANGE) = reading.free_bits;
    UpdateData(false);
    if (observer_ != nullptr) {
        observer_->fuses_touched();
    }
}

}  // namespace deve
