// The build stamp of the daemon: who built it, when, for which target, and its version tag.
// Start-up prints the tag, the syslog identity carries it and the status dump shows it.
#pragma once

#include <ostream>

class Version {
 public:
  enum Type : int { snapshot = 0, test = 1, release = 2, unit_test = 3 };

  // The texts are not copied: they must outlive the Version.
  Version(Type type, int number, const char* label, const char* user, const char* datetime,
          const char* tag, const char* arch);

  // Writes the version tag.
  void put(std::ostream& os) const;

  Type type;
  int number;
  const char* label;
  const char* user;
  const char* datetime;
  const char* tag;
  const char* arch;

  // The stamp of this build.
  static const Version current;

 private:
  void update() {}
};

// "snapshot", "test", "release", "unit-test", or "unknown".
const char* version_string(Version::Type type);
// "S", "T", "R", "T", or "U".
const char* version_suffix(Version::Type type);

std::ostream& operator<<(std::ostream& os, Version::Type type);

inline std::ostream& operator<<(std::ostream& os, const Version& v) {
  v.put(os);
  return os;
}
