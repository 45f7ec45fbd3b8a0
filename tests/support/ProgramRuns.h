#pragma once
// Runs a command-line program as a user does and keeps what it printed. Test thread.

#include <cstdio>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace testsupport {

struct ProgramRun {
    int exitCode = -1;
    std::string output;
};

// Runs `program` with the arguments (each quoted for the shell), its standard error joined to its output.
inline ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments) {
    std::string command = "'" + program + "'";
    for (const std::string& argument : arguments)
        command += " '" + argument + "'";
    command += " 2>&1";
    ProgramRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, pipe) != nullptr)
        run.output += buffer;
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

} // namespace testsupport
