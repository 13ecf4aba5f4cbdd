// Running a second program to its end, on top of starting it.
#include "test_support/system.h"

namespace test_support {

ProgramRun run_program(const std::string &program, const std::vector<std::string> &args,
                       const std::vector<std::pair<std::string, std::string>> &env) {
    StartOptions options;
    options.env = env;
    options.error = StartOptions::Error::WithOutput;
    StartedProgram started = start_program(program, args, options);
    ProgramRun run;
    if (!started.started()) {
        run.output = started.start_error();
        return run;
    }
    run.exit_code = started.wait().exit_code;
    run.output = started.output();
    if (run.exit_code == 127 && run.output.empty()) {
        run.output = "cannot start " + program;  // the exec failed in the child
    }
    return run;
}

}  // namespace test_support
