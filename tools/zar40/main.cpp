#include "command.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

namespace zar40tool {

std::vector<Command> &registry()
{
    static std::vector<Command> commands;
    return commands;
}

int usageError(const std::string &name, const std::string &message)
{
    std::cerr << "zar40 " << name << ": " << message << "\n"
              << "Try 'zar40 " << name << " --help'.\n";
    return ExitUsage;
}

int inputError(const std::string &message)
{
    std::cerr << message << "\n";
    return ExitBadInput;
}

} // namespace zar40tool

namespace {

void printOverview(std::ostream &out)
{
    auto commands = zar40tool::registry();
    std::sort(commands.begin(), commands.end(), [](const auto &a, const auto &b) { return a.name < b.name; });
    out << "Usage: zar40 COMMAND [ARGS...]\n\n"
           "Inspects, converts and computes ZAR40 presets and talks to ZAR40 devices.\n\n"
           "Commands:\n";
    for (const auto &c : commands) {
        std::string pad(c.name.size() < 12 ? 12 - c.name.size() : 1, ' ');
        out << "  " << c.name << pad << c.summary << "\n";
    }
    out << "\n'zar40 COMMAND --help' describes one command.\n"
           "Exit status: 0 success, 1 bad input or device error, 2 usage error.\n";
}

} // namespace

int main(int argc, char **argv)
{
    using namespace zar40tool;
    if (argc < 2) {
        printOverview(std::cerr);
        return ExitUsage;
    }
    const std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        // "zar40 help COMMAND" is "zar40 COMMAND --help".
        if (argc > 2)
            for (const auto &c : registry())
                if (c.name == argv[2]) {
                    std::cout << c.usage;
                    return ExitOk;
                }
        printOverview(std::cout);
        return ExitOk;
    }
    for (const auto &c : registry()) {
        if (c.name != name) continue;
        std::vector<std::string> args(argv + 2, argv + argc);
        if (std::find(args.begin(), args.end(), "--help") != args.end()) {
            std::cout << c.usage;
            return ExitOk;
        }
        return c.run(args);
    }
    std::cerr << "zar40: unknown command '" << name << "'\n";
    printOverview(std::cerr);
    return ExitUsage;
}
