// The runner over a stand-in for the library: what it reports when the
// transport fails the reads it reports from.
#include "recording_api.h"
#include "runner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

using namespace deve::cli;

struct RunOutput {
    int code = -1;
    std::string out;  // the JSON records
};

RunOutput run_on(deve::RfApi &api, const std::vector<Command> &commands) {
    std::FILE *file = std::tmpfile();
    RunOutput result;
    {
        Output out(file, true);
        Progress progress(nullptr);
        Globals globals;
        globals.json = true;
        Runner runner(api, out, progress, Environment{}, globals);
        result.code = runner.run(commands);
    }
    std::rewind(file);
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        result.out.append(buffer, got);
    }
    std::fclose(file);
    return result;
}

bool contains(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }

TEST(CliRunner, ReadsTheTransportFailsAreErrorsAndNeverReadings) {
    fake::RecordingApi api;
    api.results["xolt_read_reg"] = -1;  // every register read fails, as over a dead link

    const RunOutput reg = run_on(api, {RegReadCmd{0xCCB0A400}});
    EXPECT_EQ(reg.code, 3) << reg.out;
    EXPECT_FALSE(contains(reg.out, "\"type\":\"reg_read\"")) << reg.out;
    EXPECT_TRUE(contains(reg.out, "\"kind\":\"link\",\"message\":\"the transport failed the read of register "
                                  "0xccb0a400")) << reg.out;
    // The stop was made, but nothing confirms it.
    EXPECT_TRUE(contains(reg.out, "\"transmitter\":\"unknown\",\"receiver\":\"unknown\",\"radio_mode\":\"unknown\","
                                  "\"confirmed\":false,\"safe\":false")) << reg.out;
    EXPECT_TRUE(contains(reg.out, "the radio's state is unconfirmed")) << reg.out;

    for (const Command &test : {Command{TxCmd{}}, Command{RxCmd{}}}) {
        const RunOutput r = run_on(api, {test});
        EXPECT_EQ(r.code, 3) << r.out;
        EXPECT_TRUE(contains(r.out, "\"verdict\":\"fail\"")) << r.out;
        EXPECT_TRUE(contains(r.out, "frame counters: the run's counts are incomplete")) << r.out;
    }

    // No temperature from a sensor that was never read.
    const RunOutput temp = run_on(api, {TempCmd{}});
    EXPECT_EQ(temp.code, 3) << temp.out;
    EXPECT_FALSE(contains(temp.out, "\"type\":\"temp\"")) << temp.out;
    EXPECT_TRUE(contains(temp.out, "no temperature was read")) << temp.out;
}

TEST(CliRunner, WritesTheTransportFailsAreErrorsAndNeverWritten) {
    fake::RecordingApi api;
    api.results["xolt_write_reg"] = -1;

    const RunOutput reg = run_on(api, {RegWriteCmd{0xCCB0A62C, 0x12345678}});
    EXPECT_EQ(reg.code, 3) << reg.out;
    EXPECT_FALSE(contains(reg.out, "\"type\":\"reg_write\"")) << reg.out;
    EXPECT_TRUE(contains(reg.out, "the transport failed the write of 0x12345678 to register 0xccb0a62c")) << reg.out;

    const std::filesystem::path path = std::filesystem::temp_directory_path() / "cli_runner_refused_script.txt";
    std::ofstream(path) << "DIList                      CCB0A62C | 12345678\n"
                           "DIList                      CCB0A630 | 00000001\n//end\n";
    const RunOutput script = run_on(api, {ScriptCmd{path.string()}});
    std::filesystem::remove(path);
    EXPECT_EQ(script.code, 3) << script.out;
    EXPECT_TRUE(contains(script.out, "\"written\":0,\"refused\":2")) << script.out;
    EXPECT_TRUE(contains(script.out, "The transport failed 2 register writes")) << script.out;
}

}  // namespace
