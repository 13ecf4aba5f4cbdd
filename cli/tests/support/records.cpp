#include "records.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>

#include <map>

namespace clitest {

namespace {

// Kinds of field values.
enum Kind : unsigned {
    S = 1,   // string
    N = 2,   // number
    B = 4,   // boolean
    A = 8,   // array
    O = 16,  // object
    Z = 32,  // null
};

using Fields = std::map<std::string, unsigned>;

// The fields every record of a type carries, beyond the envelope.
const std::map<std::string, Fields> &schema() {
    static const std::map<std::string, Fields> types{
        {"open",
         {{"port", S},
          {"supply", S},
          {"crystal", S},
          {"open", S},
          {"status", S},
          {"opened", B},
          {"init_result", N},
          {"version", S},
          {"host", S},
          {"meta", O}}},
        {"info",
         {{"chip_id", S | Z},
          {"revision", S},
          {"revision_text", S},
          {"transport_requested", S},
          {"transport_loaded", S | Z},
          {"free_bits", N}}},
        {"reg_read", {{"address", S}, {"value", N}, {"value_hex", S}}},
        {"reg_write", {{"address", S}, {"value", N}, {"value_hex", S}}},
        {"tune",
         {{"band", S},
          {"channel", N},
          {"channel_label", S},
          {"frequency", N},
          {"mode", S},
          {"rate", S},
          {"rate_code", N},
          {"rf_gain", N | Z},
          {"dac", N | Z},
          {"b_gain", N | Z},
          {"offset", N},
          {"applied", A}}},
        {"tx_sample", {{"second", N}, {"frames", N}, {"frames_per_second", N}, {"total_frames", N}}},
        {"tx",
         {{"band", S},
          {"channel", N},
          {"channel_label", S},
          {"frequency", N},
          {"mode", S},
          {"rate", S},
          {"rate_code", N},
          {"rf_gain", N | Z},
          {"dac", N | Z},
          {"b_gain", N | Z},
          {"offset", N},
          {"pit", N},
          {"frames_wanted", N | Z},
          {"ended_by", S},
          {"seconds", N},
          {"elapsed", N},
          {"frames", N},
          {"frames_per_second", N | Z},
          {"complete", B},
          {"limit_set", S | Z},
          {"limits", A},
          {"verdict", S}}},
        {"rx_sample",
         {{"second", N},
          {"errors", N},
          {"frames", N},
          {"per", N | Z},
          {"per_text", S},
          {"total_errors", N},
          {"total_frames", N},
          {"total_per", N | Z},
          {"total_per_text", S},
          {"counter_reset", B},
          {"counter_restarted", B}}},
        {"rx",
         {{"band", S},
          {"channel", N},
          {"channel_label", S},
          {"frequency", N},
          {"mode", S},
          {"rate", S},
          {"rate_code", N},
          {"rf_gain", N | Z},
          {"dac", N | Z},
          {"b_gain", N | Z},
          {"offset", N},
          {"frames_wanted", N | Z},
          {"ended_by", S},
          {"seconds", N},
          {"elapsed", N},
          {"errors", N},
          {"frames", N},
          {"per", N | Z},
          {"per_text", S},
          {"counter_resets", N},
          {"counter_restarts", N},
          {"complete", B},
          {"limit_set", S | Z},
          {"limits", A},
          {"verdict", S}}},
        {"trim",
         {{"band", S},
          {"channel", N},
          {"mode", S},
          {"rate", S},
          {"offset", N},
          {"from", N},
          {"to", N},
          {"coarse_step", N},
          {"frames_per_point", N},
          {"points", A},
          {"best", N | Z},
          {"method", S | Z},
          {"centre", N | Z},
          {"best_per", N | Z},
          {"elapsed", N},
          {"verdict", S}}},
        {"cal", {{"result", N}, {"status", S}}},
        {"dpd", {{"requested", S}, {"status", S}, {"changed", B}, {"enabled", B}, {"verdict", S}}},
        {"temp", {{"celsius", N | Z}, {"sensor_code", N}, {"result", N}}},
        {"script", {{"file", S}, {"written", N}, {"refused", N}, {"skipped", N}, {"ended", B}, {"details", S}}},
        {"mac", {{"found", B}, {"mac", S | Z}, {"text", S}}},
        {"efuse_read", {{"items", A}, {"free_bits", N}}},
        {"efuse_summary",
         {{"chip_id", S},
          {"records", A},
          {"next_record", N},
          {"readers_end", N},
          {"free_bits", N},
          {"stray_bits", N},
          {"words", A},
          {"bits", S}}},
        {"efuse_preview",
         {{"item", S},
          {"record_type", N},
          {"position", N},
          {"last_bit", N},
          {"bits", N},
          {"data", S},
          {"value_before", S | Z},
          {"value_after", S},
          {"values_after", A},
          {"free_bits_before", N},
          {"free_bits_after", N},
          {"dry_run", B}}},
        {"efuse_burn", {{"item", S}, {"outcome", S}}},
        {"library", {{"line", S}}},
        {"error", {{"kind", S}, {"message", S}}},
        {"interrupted", {{"signal", S}}},
        {"line_end", {{"line", N}, {"steps", A}, {"verdict", S}}},
        {"close", {{"status", S}, {"transmitter", S}, {"receiver", S}, {"radio_mode", S}, {"confirmed", B}, {"safe", B}}},
        {"end", {{"verdict", S}, {"exit_code", N}, {"failures", A}, {"version", S}, {"host", S}, {"meta", O}}},
        {"store", {}},
        {"trace", {{"file", S}, {"version", N}, {"sections", A}, {"entries", N}, {"cut", B}}},
        {"trace_entry",
         {{"index", N},
          {"section", N},
          {"time_us", N},
          {"duration_us", N},
          {"thread", N},
          {"entry", S},
          {"result", N},
          {"address", S | Z},
          {"register", S | Z},
          {"args", A},
          {"values", A},
          {"call", S}}},
        {"trace_stats",
         {{"file", S},
          {"version", N},
          {"sections", A},
          {"entries", N},
          {"cut", B},
          {"entry_points", A},
          {"registers", A},
          {"accesses", N},
          {"median_us", N | Z},
          {"p99_us", N | Z},
          {"max_us", N | Z}}},
        {"trace_diff",
         {{"a", S},
          {"b", S},
          {"entries_a", N},
          {"entries_b", N},
          {"same_calls", B},
          {"first_difference", O | Z},
          {"differing_after", N},
          {"values_differing", N},
          {"first_value_difference", O | Z}}},
        {"link_check",
         {{"port", S},
          {"transport_requested", S},
          {"opened", B},
          {"init_result", N},
          {"transport", S | Z},
          {"size", N | Z},
          {"format", S | Z},
          {"machine", S | Z},
          {"entry_points", O}}},
    };
    return types;
}

unsigned kind_of(const QJsonValue &v) {
    switch (v.type()) {
    case QJsonValue::String: return S;
    case QJsonValue::Double: return N;
    case QJsonValue::Bool: return B;
    case QJsonValue::Array: return A;
    case QJsonValue::Object: return O;
    case QJsonValue::Null: return Z;
    default: return 0;
    }
}

// Fields of the nested objects.
void check_nested(const QJsonObject &o, const std::string &line) {
    const std::string type = o.value("type").toString().toStdString();
    if (o.contains("limits")) {
        for (const QJsonValue &v : o.value("limits").toArray()) {
            const QJsonObject l = v.toObject();
            EXPECT_TRUE(l.value("name").isString() && l.value("relation").isString() && l.value("limit").isDouble() &&
                        (l.value("value").isDouble() || l.value("value").isNull()) && l.value("unit").isString() &&
                        l.value("pass").isBool())
                << "limit of " << line;
        }
    }
    if (type == "efuse_summary") {
        for (const QJsonValue &v : o.value("records").toArray()) {
            const QJsonObject r = v.toObject();
            EXPECT_TRUE(r.value("position").isDouble() && r.value("type").isDouble() &&
                        (r.value("item").isString() || r.value("item").isNull()) &&
                        (r.value("value").isString() || r.value("value").isNull()) && r.value("values").isArray() &&
                        r.value("data").isString() && r.value("state").isString() &&
                        (r.value("bits").isDouble() || r.value("bits").isNull()))
                << "record of " << line;
        }
        EXPECT_EQ(o.value("words").toArray().size(), 8) << line;
        EXPECT_EQ(o.value("bits").toString().size(), 256) << line;
    }
    if (type == "efuse_read") {
        for (const QJsonValue &v : o.value("items").toArray()) {
            const QJsonObject i = v.toObject();
            EXPECT_TRUE(i.value("item").isString() && i.value("found").isBool() && i.value("text").isString())
                << "item of " << line;
        }
    }
}

// The number of keys of the outermost object of a JSON text, duplicates
// included (a JSON reader keeps only one of a duplicated key).
int top_level_keys(const std::string &line) {
    int keys = 0;
    int depth = 0;
    bool expecting_key = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"') {
            if (depth == 1 && expecting_key) {
                ++keys;
                expecting_key = false;
            }
            for (++i; i < line.size() && line[i] != '"'; ++i) {
                i += line[i] == '\\' ? 1 : 0;
            }
        } else if (c == '{' || c == '[') {
            ++depth;
            expecting_key = depth == 1;
        } else if (c == '}' || c == ']') {
            --depth;
        } else if (c == ',' && depth == 1) {
            expecting_key = true;
        }
    }
    return keys;
}

}  // namespace

std::vector<QJsonObject> records(const std::string &out) {
    std::vector<QJsonObject> all;
    static const QRegularExpression timestamp("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3}Z$");
    static const QRegularExpression run_id("^[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}$");
    QString first_run_id;
    double expected_seq = 1;
    QString last_time;
    std::size_t start = 0;
    while (start < out.size()) {
        std::size_t end = out.find('\n', start);
        EXPECT_NE(end, std::string::npos) << "the output does not end with a line end";
        if (end == std::string::npos) {
            end = out.size();
        }
        const std::string line = out.substr(start, end - start);
        start = end + 1;
        QJsonParseError error{};
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << "not JSON: " << line;
        EXPECT_TRUE(doc.isObject()) << "not an object: " << line;
        if (!doc.isObject()) {
            continue;
        }
        const QJsonObject o = doc.object();
        EXPECT_EQ(top_level_keys(line), o.size()) << "a key appears twice: " << line;
        EXPECT_EQ(o.value("schema").toDouble(), 5.0) << line;
        EXPECT_TRUE(run_id.match(o.value("run_id").toString()).hasMatch()) << line;
        if (all.empty()) {
            first_run_id = o.value("run_id").toString();
        }
        EXPECT_EQ(o.value("run_id").toString(), first_run_id) << "one run id for the whole run: " << line;
        EXPECT_EQ(o.value("seq").toDouble(), expected_seq) << line;
        expected_seq += 1;
        const QString time = o.value("time").toString();
        EXPECT_TRUE(timestamp.match(time).hasMatch()) << line;
        EXPECT_TRUE(time >= last_time) << "time goes back: " << line;
        last_time = time;
        EXPECT_TRUE(o.value("step").isDouble()) << line;
        EXPECT_TRUE(o.value("command").isString()) << line;
        EXPECT_TRUE(o.value("units").isObject()) << line;
        const std::string type = o.value("type").toString().toStdString();
        const auto known = schema().find(type);
        EXPECT_NE(known, schema().end()) << "unknown record type: " << line;
        if (known != schema().end()) {
            for (const auto &[key, kinds] : known->second) {
                EXPECT_NE(kind_of(o.value(QString::fromStdString(key))) & kinds, 0u)
                    << "field " << key << " missing or of the wrong kind: " << line;
            }
        }
        // Units name quantities of the record, as strings.
        const QJsonObject units = o.value("units").toObject();
        for (auto it = units.begin(); it != units.end(); ++it) {
            EXPECT_TRUE(it.value().isString()) << line;
            EXPECT_TRUE(o.contains(it.key()) || type == "efuse_summary")  // summary units name record fields too
                << "unit of a missing field " << it.key().toStdString() << ": " << line;
        }
        check_nested(o, line);
        all.push_back(o);
    }
    return all;
}

std::vector<QJsonObject> of_type(const std::vector<QJsonObject> &all, const char *type) {
    std::vector<QJsonObject> out;
    for (const QJsonObject &o : all) {
        if (o.value("type").toString() == QLatin1String(type)) {
            out.push_back(o);
        }
    }
    return out;
}

QJsonObject one(const std::vector<QJsonObject> &all, const char *type) {
    const std::vector<QJsonObject> found = of_type(all, type);
    EXPECT_EQ(found.size(), 1u) << "records of type " << type;
    return found.empty() ? QJsonObject() : found.front();
}

std::string text(const QJsonObject &o, const char *key) { return o.value(key).toString().toStdString(); }

double number(const QJsonObject &o, const char *key) { return o.value(key).toDouble(); }

}  // namespace clitest
