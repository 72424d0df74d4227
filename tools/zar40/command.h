#pragma once
// Subcommands of the zar40 tool. Each command lives in its own source file
// and registers itself with a static Registration object, so that adding a
// command never touches the dispatcher.
#include <functional>
#include <string>
#include <vector>

namespace zar40tool {

// Exit codes shared by every subcommand. A unit that fails or cannot be
// reached ends with the same status as bad input, as documented; the name
// says which it was.
enum ExitCode : int { ExitOk = 0, ExitBadInput = 1, ExitDeviceError = 1, ExitUsage = 2 };

struct Command {
    std::string name;
    std::string summary; // one line for the overview
    std::string usage;   // full text printed by "zar40 NAME --help"
    // Receives the arguments after the command name. Returns an ExitCode.
    std::function<int(const std::vector<std::string> &args)> run;
};

std::vector<Command> &registry();

struct Registration {
    explicit Registration(Command c) { registry().push_back(std::move(c)); }
};

// Reports a usage error for command NAME on stderr and returns ExitUsage.
int usageError(const std::string &name, const std::string &message);
// Reports bad input on stderr and returns ExitBadInput.
int inputError(const std::string &message);

} // namespace zar40tool
