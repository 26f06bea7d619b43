#include "base/ini_ignored.h"

#include <algorithm>
#include <ostream>
#include <sstream>
#include <vector>

#include "base/ini_file.h"

namespace IniFile {

namespace {

std::string header(const Section& section) {
  std::ostringstream out;
  out << "section " << quoted(section.mName);
  return out.str();
}

// The line of the last subsection of `section` that a reader read, or -1.
int read_line(const Section& section) {
  int line = -1;
  for (const SubSection& sub : section)
    if (sub.mRead) line = sub.mLineNo;
  return line;
}

void note_unread(IgnoredLines& notes, const Section& section) {
  const int read = read_line(section);
  for (const SubSection& sub : section) {
    if (sub.mLineNo < 0) continue;
    if (read < 0) {
      notes.add(sub.mLineNo, header(section) + " unknown, ignored");
      continue;
    }
    if (!sub.mRead) {
      notes.add(sub.mLineNo, header(section) + " ignored: the one on line " +
                                        std::to_string(read) + " is read");
      continue;
    }
    for (const Key& key : sub) {
      if (key.mKnown) continue;
      for (const SubKey& value : key) {
        std::ostringstream what;
        what << "key " << quoted(key.mName) << " of " << header(section)
             << " unknown, ignored";
        notes.add(value.mLineNo, what.str());
      }
    }
  }
}

}  // namespace

void ReportIgnored(const File& file, std::ostream& log) {
  if (!file.ok()) return;
  IgnoredLines notes = file.mIgnored;
  for (const Section& section : file) note_unread(notes, section);
  std::stable_sort(notes.kept.begin(), notes.kept.end(),
                   [](const Ignored& a, const Ignored& b) { return a.line < b.line; });
  for (const Ignored& note : notes.kept)
    log << "configuration " << file.mFileName << " line " << note.line << ": " << note.what
        << std::endl;
  const int more = notes.count - int(notes.kept.size());
  if (more > 0)
    log << "configuration " << file.mFileName << ": " << more << " more lines ignored"
        << std::endl;
}

}  // namespace IniFile
