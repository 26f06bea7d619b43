// IniFile::ReportIgnored: after the readers have run, one line for each line of a configuration
// file that was read as nothing, so that a misspelt or misplaced line does not pass unseen.
#pragma once

#include <iosfwd>

#include "base/ini_file.h"

namespace IniFile {

// Writes, in line order, "configuration FILE line N: WHAT" for every line that the parser
// dropped (File::mIgnored) and every line that no Reader read: a section that none reads
// ("section \"x\" unknown, ignored"), a subsection of a read section that none reads
// ("section \"x\" ignored: the one on line M is read"), and a key of a read subsection that no
// binding names ("key \"k\" of section \"x\" unknown, ignored"). At most File::kMaxIgnored
// lines, then one line with the count of the others. Nothing for a file that is not open.
void ReportIgnored(const File& file, std::ostream& log);

}  // namespace IniFile
