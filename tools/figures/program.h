// The shape every measurement program's main shares: the options parsed,
// then the work, whose failure is one line on standard error.
#pragma once

#include <exception>
#include <iostream>

namespace figures {

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
