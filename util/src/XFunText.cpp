// Text and time members of XFun: tokenizing, case folding, "how long ago".
#include "util/XFun.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <ctime>

void XFun::tokenize(const std::string &str, std::vector<std::string> &tokens,
                    const std::string &delimiters) {
    std::string::size_type start = str.find_first_not_of(delimiters, 0);
    std::string::size_type sep = str.find_first_of(delimiters, start);
    // sep is npos whenever start is, so the substring below always begins
    // inside str.
    while (sep != std::string::npos || start != std::string::npos) {
        tokens.push_back(str.substr(start, sep - start));
        start = str.find_first_not_of(delimiters, sep);
        sep = str.find_first_of(delimiters, start);
    }
}

// tolower/toupper take a value representable as unsigned char (or EOF);
// passing a plain char would hand them negative values for bytes 128 to 255.
std::string XFun::toLower(const std::string &str) {
    std::string out(str);
    for (char &c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string XFun::toUpper(const std::string &str) {
    std::string out(str);
    for (char &c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Both times go through the same text-and-parse route, so they are read with
// the same field defaults (in particular tm_isdst = 0) and compare evenly.
std::int64_t XFun::diffTime(const char *time) {
    std::tm now{};
    std::tm then{};

    const std::time_t clock = std::time(nullptr);
    std::tm local{};
    char text[26] = {};
    char buffer[1024] = {};
    if (localtime_r(&clock, &local) && asctime_r(&local, text))
        std::snprintf(buffer, sizeof buffer, "%s", text);
    strptime(buffer, "%a %b %d %H:%M:%S %Y", &now);
    if (time)
        strptime(time, "%Y-%m-%d %H:%M:%S", &then);

    const std::time_t nowSeconds = std::mktime(&now);
    const std::time_t thenSeconds = std::mktime(&then);
    return static_cast<std::int64_t>(std::difftime(nowSeconds, thenSeconds));
}

namespace {

std::string printed(const char *format, std::int64_t a, std::int64_t b = 0, std::int64_t c = 0,
                    std::int64_t d = 0) {
    char text[128];
    const int n = std::snprintf(text, sizeof text, format, static_cast<std::int32_t>(a),
                                static_cast<std::int32_t>(b), static_cast<std::int32_t>(c),
                                static_cast<std::int32_t>(d));
    return n > 0 ? std::string(text) : std::string();
}

} // namespace

std::string XFun::formatTime(std::int64_t seconds, bool brief) {
    const std::int64_t days = seconds / 86400;
    std::int64_t rest = seconds % 86400;
    const std::int64_t hours = rest / 3600;
    rest %= 3600;
    const std::int64_t minutes = rest / 60;
    const std::int64_t secs = rest % 60;

    if (days > 0)
        return printed(brief ? "%iday %ihr %imin %is ago..\n"
                             : "%i days, %i hours, %i minutes, %i seconds ago..\n",
                       days, hours, minutes, secs);
    if (hours > 0)
        return printed(brief ? "%ihr %imin %is ago..\n"
                             : "%i hours, %i minutes, %i seconds ago..\n",
                       hours, minutes, secs);
    if (minutes > 0)
        return printed(brief ? "%imin %is ago..\n" : "%i minutes, %i seconds ago..\n", minutes,
                       secs);
    return printed(brief ? "%is ago..\n" : "%i seconds ago..\n", secs);
}
