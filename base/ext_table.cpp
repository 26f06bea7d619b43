#include "base/ext_table.h"

#include <algorithm>

namespace ext {

void Table::row(std::ostream& os, const std::string& text) {
  if (column_ >= widths_.size()) return;
  row_open_ = true;
  const size_t w = static_cast<size_t>(std::max(widths_[column_], 0));
  const size_t n = std::min(text.size(), w);
  os << '|' << std::string((w - n) / 2, ' ') << text << std::string((w - n + 1) / 2, ' ');
  if (++column_ == widths_.size()) {
    os << "|\n";
    row_open_ = false;
  }
}

void Table::finalize(std::ostream& os) {
  while (row_open_ && column_ < widths_.size()) row(os, " ");
}

void Table::frame(std::ostream& os, char corner, char fill) {
  finalize(os);
  if (widths_.empty()) return;
  for (int w : widths_) os << corner << std::string(static_cast<size_t>(std::max(w, 0)), fill);
  os << corner << '\n';
}

void Table::delimeter(std::ostream& os) { frame(os, '+', '-'); }

void Table::gap(std::ostream& os) { frame(os, '|', ' '); }

void Table::Sentry::row() const {
  table_->row(*os_, cell_.str());
  cell_.str(std::string());
}

const Table::Sentry& nextrow(const Table::Sentry& s) {
  s.row();
  return s;
}

const Table::Sentry& beginrow(const Table::Sentry& s) {
  s.table().resetrow();
  return s;
}

const Table::Sentry& delimeter(const Table::Sentry& s) {
  s.table().delimeter(s.stream());
  return s;
}

}  // namespace ext
