#include "fake_api.h"

#include <cstdio>

namespace clitest {

namespace {

constexpr std::uint32_t kEfuseStatus = 0xC200010C;

std::string hex(std::uint32_t v) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", v);
    return text;
}

}  // namespace

std::int32_t FakeApi::xolt_read_reg(std::uint32_t address, std::uint32_t *value) {
    if (address == kEfuseStatus) {
        ++status_reads;
    }
    const auto it = registers.find(address);
    *value = it != registers.end() ? it->second : 0;
    calls.push_back("R " + hex(address));
    return failing_reads ? -1 : 0;
}

std::int32_t FakeApi::xolt_write_reg(std::uint32_t address, std::uint32_t value) {
    registers[address] = value;
    calls.push_back("W " + hex(address) + " " + hex(value));
    return failing_writes ? -1 : 0;
}

}  // namespace clitest
