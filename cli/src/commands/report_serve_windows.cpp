// deve-cli report serve in the Windows build: the HTTP library is Debian's
// cpp-httplib, whose implementation is a Linux library, so the Windows build
// has no live page and says so.
#include "report_command.h"

#include <cstdio>

namespace deve::cli {

int run_report_serve(const ReportCommand &, const store::StoreUrl &, const report::Window &) {
    std::fprintf(stderr, "deve-cli: report serve: the live page is not in the "
                         "Windows build; run it on a Linux "
                         "computer that reaches the store\n");
    return 2;
}

}  // namespace deve::cli
