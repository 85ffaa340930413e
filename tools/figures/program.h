// The shape every measurement program's main shares: the options parsed,
// then the work, whose failure is one line on standard error.
#pragma once

#include <exception>
#include <iostream>
#include <ostream>
#include <string>

namespace figures {

// Walks the options of a command line. --help or -h prints the usage on
// standard output (status 0). flag(arg) takes an option without a value and
// says whether it knew it; every other option needs a value, which
// take(arg, value) takes, saying whether it knew the option and accepts the
// value. Anything else prints the usage on standard error (status 2). Returns
// -1 when the whole line was taken.
template <class Flag, class Take>
int parseCommandLine(int argc, char **argv, int (*usage)(std::ostream &out, int status), Flag flag,
                     Take take) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h")
            return usage(std::cout, 0);
        if (flag(arg))
            continue;
        if (i + 1 >= argc || !take(arg, std::string(argv[i + 1])))
            return usage(std::cerr, 2);
        ++i;
    }
    return -1;
}

// For programs whose options all take a value.
inline bool noFlags(const std::string &) {
    return false;
}

// parse returns a status of 0 or more to end the program at once (after
// --help, or a usage error it has printed), or -1 to go on. An exception from
// run is printed as "NAME: what" and gives status 1.
template <class Options>
int runProgram(const char *name, int argc, char **argv,
               int (*parse)(int argc, char **argv, Options &opt), void (*run)(const Options &opt)) {
    Options opt;
    const int status = parse(argc, argv, opt);
    if (status >= 0)
        return status;
    try {
        run(opt);
    } catch (const std::exception &e) {
        std::cerr << name << ": " << e.what() << '\n';
        return 1;
    }
    return 0;
}

} // namespace figures
