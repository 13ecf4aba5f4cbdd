// The second program of the process tests. "echo": its standard input, the
// variables PROBE_ADDED and PROBE_REMOVED, a line on standard error, exit
// code 3. "wait": "ready" and then a minute's sleep, to be killed.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <iterator>
#include <string>
#include <thread>

int main(int argc, char **argv) {
    if (argc == 2 && std::strcmp(argv[1], "echo") == 0) {
        const std::string input((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
        const char *added = std::getenv("PROBE_ADDED");
        const char *removed = std::getenv("PROBE_REMOVED");
        std::printf("input:%s\nadded:%s\nremoved:%s\n", input.c_str(), added != nullptr ? added : "(none)",
                    removed != nullptr ? removed : "(none)");
        std::fflush(stdout);
        std::fprintf(stderr, "a line on standard error\n");
        return 3;
    }
    if (argc == 2 && std::strcmp(argv[1], "wait") == 0) {
        std::printf("ready\n");
        std::fflush(stdout);
        std::this_thread::sleep_for(std::chrono::seconds(60));
        return 0;
    }
    return 2;
}
