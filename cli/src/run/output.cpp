#include "output.h"

#include <cerrno>
#include <cstdio>
#include <ctime>
#include <random>
#include <system_error>

namespace deve::cli {

Output::Output(std::FILE *out, bool json, Clock clock) : out_(out), json_(json), clock_(std::move(clock)) {}

void Output::record(std::string_view type, const json::Object &fields, const json::Object &units) {
    if (!json_ && sink_ == nullptr) {
        return;
    }
    json::Object line;
    line.add("schema", kSchemaVersion)
        .add("seq", ++sequence_)
        .add("time", utc_timestamp(clock_()));
    if (!run_id_.empty()) {
        line.add("run_id", run_id_);
    }
    line.add("type", type).merge(fields);
    if (sink_ != nullptr) {
        line.merge(sink_->record(type, json::Object(line).add("units", units).str()));
    }
    if (json_) {
        write(line.add("units", units).str());
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
