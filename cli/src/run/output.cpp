#include "output.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <random>
#include <system_error>

namespace deve::cli {

Output::Output(std::FILE *out, bool json, Clock clock) : out_(out), json_(json), clock_(std::move(clock)) {}

void Output::record(std::string_view type, const ordered_json &fields, const ordered_json &units) {
    if (!json_ && sink_ == nullptr) {
        return;
    }
    ordered_json line = {{"schema", kSchemaVersion}, {"seq", ++sequence_}, {"time", utc_timestamp(clock_())}};
    if (!run_id_.empty()) {
        line["run_id"] = run_id_;
    }
    line["type"] = type;
    line.update(fields);
    if (sink_ != nullptr) {
        line.update(sink_->record(type, dump_record(merged(line, {{"units", units}}))));
    }
    if (json_) {
        line["units"] = units;
        write(dump_record(line));
    }
}

void Output::text(const std::string &line) {
    if (!json_) {
        write(line);
    }
}

void Output::write(const std::string &line) {
    if (broken_) {
        return;
    }
    errno = 0;
    if (std::fputs(line.c_str(), out_) < 0 || std::fputc('\n', out_) == EOF || std::fflush(out_) != 0) {
        broken_ = true;
        failure_ = errno != 0 ? std::generic_category().message(errno) : "write error";
    }
}

}  // namespace deve::cli
