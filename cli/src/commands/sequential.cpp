#include "sequential.h"

#include "common/text_format.h"

#include <cmath>

namespace deve::cli {

namespace {

template <typename T> std::optional<T> first_of(const std::optional<T> &a, const std::optional<T> &b) {
    return a ? a : b;
}

} // namespace

SequentialPlan overlaid(const SequentialPlan &option, const SequentialPlan &set) {
    return {first_of(option.false_pass, set.false_pass), first_of(option.false_fail, set.false_fail),
            first_of(option.zone, set.zone), first_of(option.decide_after, set.decide_after),
            first_of(option.max_frames, set.max_frames)};
}

bool any_given(const SequentialPlan &plan) {
    return plan.false_pass || plan.false_fail || plan.zone || plan.decide_after || plan.max_frames;
}

const char *decision_text(Decision d) {
    switch (d) {
    case Decision::Pass:
        return "decided pass";
    case Decision::Fail:
        return "decided fail";
    case Decision::Undecided:
        break;
    }
    return "undecided";
}

SequentialTest::Made SequentialTest::make(Kind kind, double limit, const SequentialPlan &plan) {
    SequentialTest t;
    t.kind_ = kind;
    t.limit_ = limit;
    t.false_pass_ = plan.false_pass.value_or(kSequentialDefaults.false_pass);
    t.false_fail_ = plan.false_fail.value_or(kSequentialDefaults.false_fail);
    t.zone_ = plan.zone.value_or(limit * kSequentialDefaults.zone_of_limit);
    t.decide_after_ = plan.decide_after.value_or(kSequentialDefaults.decide_after);
    if (!(t.false_pass_ > 0 && t.false_pass_ <= 50) || !(t.false_fail_ > 0 && t.false_fail_ <= 50)) {
        return {std::nullopt, "the sequential test's error rates must lie above 0 and at most 50 %"};
    }
    if (kind == Kind::ErrorRate) {
        if (!(limit > 0 && limit < 100)) {
            return {std::nullopt, "a sequential test needs a max-per limit above 0 "
                                  "and below 100 %, not " +
                                      short_number(limit) + " %"};
        }
        if (!(t.zone_ > 0 && t.zone_ < limit)) {
            return {std::nullopt, "the sequential test's zone must lie above 0 and below the limit (" +
                                      short_number(limit) + " %), not " + short_number(t.zone_) + " %"};
        }
        t.bad_ = limit;
        t.good_ = limit - t.zone_;
        const double p1 = t.bad_ / 100;
        const double p0 = t.good_ / 100;
        t.per_event_ = std::log(p1 / p0);
        t.per_other_ = std::log((1 - p1) / (1 - p0));
    } else {
        if (!(limit > 0)) {
            return {std::nullopt, "a sequential test needs a min-fps limit above 0"};
        }
        if (!(t.zone_ > 0)) {
            return {std::nullopt, "the sequential test's zone must lie above 0 frame/s"};
        }
        t.bad_ = limit;
        t.good_ = limit + t.zone_;
        t.per_event_ = std::log(t.bad_ / t.good_);
        t.per_other_ = -(t.bad_ - t.good_);
    }
    const double a = t.false_fail_ / 100;
    const double b = t.false_pass_ / 100;
    t.pass_bound_ = std::log(b / (1 - a));
    t.fail_bound_ = std::log((1 - b) / a);
    return {t, ""};
}

double SequentialTest::llr(std::uint64_t count, std::uint64_t frames, double seconds) const {
    if (kind_ == Kind::ErrorRate) {
        const std::uint64_t good_frames = frames >= count ? frames - count : 0;
        return static_cast<double>(count) * per_event_ + static_cast<double>(good_frames) * per_other_;
    }
    return static_cast<double>(count) * per_event_ + seconds * per_other_;
}

Decision SequentialTest::look(std::uint64_t count, std::uint64_t frames, double seconds) const {
    if (frames < decide_after_ || frames == 0) {
        return Decision::Undecided;
    }
    const double l = llr(count, frames, seconds);
    if (l >= fail_bound_) {
        return Decision::Fail;
    }
    if (l <= pass_bound_) {
        return Decision::Pass;
    }
    return Decision::Undecided;
}

} // namespace deve::cli
