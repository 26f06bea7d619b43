// A fixed-width ASCII table for the status dump.
//
// Each cell is centred in its column between "|" bars; a text longer than its column is written
// whole and shifts the rest of its line. Rows are built through a Sentry over a stream:
//
//   ext::Table t(4, 3);
//   ext::Table::Sentry(os, t) << ext::delimeter;
//   ext::Table::Sentry(os, t) << ext::beginrow << "ab" << ext::nextrow << 7 << ext::nextrow;
//
// A Sentry completes an unfinished row with blank cells when it is destroyed.
#pragma once

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace ext {

class Table {
 public:
  class Sentry;

  Table() = default;
  explicit Table(int w1) { add(w1); }
  Table(int w1, int w2) : Table(w1) { add(w2); }
  Table(int w1, int w2, int w3) : Table(w1, w2) { add(w3); }
  Table(int w1, int w2, int w3, int w4) : Table(w1, w2, w3) { add(w4); }
  Table(int w1, int w2, int w3, int w4, int w5) : Table(w1, w2, w3, w4) { add(w5); }
  Table(int w1, int w2, int w3, int w4, int w5, int w6) : Table(w1, w2, w3, w4, w5) { add(w6); }
  Table(int w1, int w2, int w3, int w4, int w5, int w6, int w7)
      : Table(w1, w2, w3, w4, w5, w6) {
    add(w7);
  }

  void add(int width) { widths_.push_back(width); }
  void init() { resetrow(); }
  void resetrow() {
    column_ = 0;
    row_open_ = false;
  }

  // Writes `text` as the next cell of the row; nothing once the row has all its cells.
  void row(std::ostream& os, const std::string& text);
  // Fills an open row with blank cells up to its end.
  void finalize(std::ostream& os);
  // finalize, then a "+---+--+" line (nothing more for a table without columns).
  void delimeter(std::ostream& os);
  // finalize, then a "|   |  |" line.
  void gap(std::ostream& os);

 private:
  void frame(std::ostream& os, char corner, char fill);

  std::vector<int> widths_;
  unsigned column_ = 0;
  bool row_open_ = false;
};

class Table::Sentry {
 public:
  Sentry(std::ostream& os, Table& table) : os_(&os), table_(&table) {}
  Sentry(const Sentry&) = delete;
  Sentry& operator=(const Sentry&) = delete;
  ~Sentry() { table_->finalize(*os_); }

  // Hands the text built so far to the table as one cell and starts a new one.
  void row() const;

  std::ostream& stream() const { return *os_; }
  Table& table() const { return *table_; }
  std::ostream& cell() const { return cell_; }

 private:
  std::ostream* os_;
  Table* table_;
  mutable std::ostringstream cell_;
};

const Table::Sentry& nextrow(const Table::Sentry& s);
const Table::Sentry& beginrow(const Table::Sentry& s);
const Table::Sentry& delimeter(const Table::Sentry& s);

inline const Table::Sentry& operator<<(const Table::Sentry& s,
                                       const Table::Sentry& (*manipulator)(const Table::Sentry&)) {
  return manipulator(s);
}

// Appends the text of any value that has a stream inserter to the cell being built.
template <typename T>
const Table::Sentry& operator<<(const Table::Sentry& s, const T& value) {
  s.cell() << value;
  return s;
}

}  // namespace ext
