// A test on the simulated board: a temporary directory with the board's fuse
// file, and deve-cli run against it.
#pragma once

#include "cli_process.h"
#include "records.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace clitest {

using Env = std::vector<std::pair<std::string, std::string>>;

class SimBoard : public ::testing::Test {
protected:
    std::string fuse_file() const { return dir_.file("efuse.bin"); }
    std::string path(const std::string &name) const { return dir_.file(name); }

    CliRun run(const std::vector<std::string> &args, Env env = {}, std::string input = {},
               std::function<void(const std::string &, pid_t)> on_line = {}) const {
        CliOptions options;
        options.env = std::move(env);
        options.env.emplace_back("XOLT_FUSE_FILE", program_path(fuse_file()));
        options.input = std::move(input);
        options.on_line = std::move(on_line);
        return run_cli(args, options);
    }

    // The fuse file's eight words (all zero when it does not exist).
    std::vector<std::uint32_t> fuse_words() const {
        std::ifstream in(fuse_file(), std::ios::binary);
        const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::vector<std::uint32_t> words(8, 0);
        for (std::size_t i = 0; i < bytes.size() && i < 32; ++i) {
            words[i / 4] |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i])) << (8 * (i % 4));
        }
        return words;
    }

    static bool contains(const std::string &text, const std::string &part) {
        return text.find(part) != std::string::npos;
    }

    // The record types in order.
    static std::vector<std::string> types(const std::vector<QJsonObject> &all) {
        std::vector<std::string> out;
        for (const QJsonObject &o : all) {
            out.push_back(text(o, "type"));
        }
        return out;
    }

private:
    TempDir dir_;
};

}  // namespace clitest
