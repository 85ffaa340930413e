// Plain tables read by the names in their header: the measurement programs'
// tab-separated tables (header line "#name<TAB>name...") and Google
// Benchmark's CSV (header line "name,iterations,..." and quoted fields).
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace figures {

class Table {
  public:
    Table(std::string source, std::vector<std::string> header,
          std::vector<std::vector<std::string>> rows);

    std::size_t size() const { return rows_.size(); }
    bool has(const std::string &column) const;
    // The text in one cell; throws std::runtime_error naming the table when
    // the column does not exist or the row is shorter than the header.
    const std::string &text(std::size_t row, const std::string &column) const;
    // The cell as a number: "nan" is NaN; anything else that is not a whole
    // number throws, naming the table, the line and the column.
    double number(std::size_t row, const std::string &column) const;

  private:
    std::size_t index(const std::string &column) const;

    std::string source_;
    std::vector<std::string> header_;
    std::vector<std::vector<std::string>> rows_;
};

// A tab-separated table whose first line is its header, after a '#'. Later
// lines starting with '#' and empty lines are skipped.
Table parseTsv(const std::string &text, const std::string &source);
Table readTsv(const std::string &path);

// A comma-separated table as RFC 4180 writes it: fields may be quoted, and a
// quoted field holds commas and doubled quotes. The first line is the header.
Table parseCsv(const std::string &text, const std::string &source);
Table readCsv(const std::string &path);

// Google Benchmark's CSV output: the run's context in plain lines (date,
// caches, load), then a CSV table whose header starts with "name,".
Table parseBenchmarkCsv(const std::string &text, const std::string &source);
Table readBenchmarkCsv(const std::string &path);

} // namespace figures
