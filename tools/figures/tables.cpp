#include "tables.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <sstream>
#include <stdexcept>

namespace figures {
namespace {

std::string slurp(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error(path + ": cannot read");
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> splitTabs(const std::string &line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

} // namespace

Table::Table(std::string source, std::vector<std::string> header,
             std::vector<std::vector<std::string>> rows)
    : source_(std::move(source)), header_(std::move(header)), rows_(std::move(rows)) {}

bool Table::has(const std::string &column) const {
    for (const std::string &name : header_)
        if (name == column)
            return true;
    return false;
}

std::size_t Table::index(const std::string &column) const {
    for (std::size_t i = 0; i < header_.size(); ++i)
        if (header_[i] == column)
            return i;
    throw std::runtime_error(source_ + ": no column named \"" + column + "\"");
}

const std::string &Table::text(std::size_t row, const std::string &column) const {
    const std::size_t i = index(column);
    if (row >= rows_.size() || i >= rows_[row].size())
        throw std::runtime_error(source_ + ": row " + std::to_string(row + 1) + " has no \"" +
                                 column + "\"");
    return rows_[row][i];
}

double Table::number(std::size_t row, const std::string &column) const {
    const std::string &cell = text(row, column);
    if (cell == "nan" || cell == "-nan")
        return std::numeric_limits<double>::quiet_NaN();
    char *end = nullptr;
    const double value = std::strtod(cell.c_str(), &end);
    if (cell.empty() || *end != '\0' || std::isnan(value))
        throw std::runtime_error(source_ + ": row " + std::to_string(row + 1) + ", \"" + column +
                                 "\": not a number: \"" + cell + "\"");
    return value;
}

Table parseTsv(const std::string &text, const std::string &source) {
    std::istringstream in(text);
    std::string line;
    std::vector<std::string> header;
    std::vector<std::vector<std::string>> rows;
    bool first = true;
    while (std::getline(in, line)) {
        if (first) {
            if (line.empty() || line[0] != '#')
                throw std::runtime_error(source + ": the first line is not a #header");
            header = splitTabs(line.substr(1));
            first = false;
        } else if (!line.empty() && line[0] != '#') {
            rows.push_back(splitTabs(line));
        }
    }
    if (first)
        throw std::runtime_error(source + ": empty, without a header");
    return Table(source, std::move(header), std::move(rows));
}

Table readTsv(const std::string &path) {
    return parseTsv(slurp(path), path);
}

Table parseCsv(const std::string &text, const std::string &source) {
    std::vector<std::vector<std::string>> records(1);
    std::string field;
    bool quoted = false, fieldStarted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c != '"')
                field += c;
            else if (i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else
                quoted = false;
        } else if (c == '"') {
            quoted = true;
            fieldStarted = true;
        } else if (c == ',') {
            records.back().push_back(field);
            field.clear();
            fieldStarted = false;
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
            if (fieldStarted || !field.empty() || !records.back().empty())
                records.back().push_back(field);
            field.clear();
            fieldStarted = false;
            if (!records.back().empty())
                records.emplace_back();
        } else {
            field += c;
            fieldStarted = true;
        }
    }
    if (quoted)
        throw std::runtime_error(source + ": a quoted field is not closed");
    if (fieldStarted || !field.empty())
        records.back().push_back(field);
    if (records.back().empty())
        records.pop_back();
    if (records.empty())
        throw std::runtime_error(source + ": empty, without a header");
    std::vector<std::string> header = std::move(records.front());
    records.erase(records.begin());
    return Table(source, std::move(header), std::move(records));
}

Table readCsv(const std::string &path) {
    return parseCsv(slurp(path), path);
}

Table parseBenchmarkCsv(const std::string &text, const std::string &source) {
    const std::size_t header = text.compare(0, 5, "name,") == 0 ? 0 : text.find("\nname,");
    if (header == std::string::npos)
        throw std::runtime_error(source + ": no benchmark table (a line starting \"name,\")");
    return parseCsv(text.substr(header == 0 ? 0 : header + 1), source);
}

Table readBenchmarkCsv(const std::string &path) {
    return parseBenchmarkCsv(slurp(path), path);
}

} // namespace figures
