#include "base/version.h"

#include "base/version_stamp.h"

const Version Version::current(Version::snapshot, 0, "", ORVEX_BUILD_USER, ORVEX_BUILD_TIME,
                               ORVEX_BUILD_TAG, ORVEX_BUILD_ARCH);

Version::Version(Type type_, int number_, const char* label_, const char* user_,
                 const char* datetime_, const char* tag_, const char* arch_)
    : type(type_),
      number(number_),
      label(label_),
      user(user_),
      datetime(datetime_),
      tag(tag_),
      arch(arch_) {
  update();
}

void Version::put(std::ostream& os) const { os << tag; }

const char* version_string(Version::Type type) {
  switch (type) {
    case Version::snapshot: return "snapshot";
    case Version::test: return "test";
    case Version::release: return "release";
    case Version::unit_test: return "unit-test";
  }
  return "unknown";
}

const char* version_suffix(Version::Type type) {
  switch (type) {
    case Version::snapshot: return "S";
    case Version::test: return "T";
    case Version::release: return "R";
    case Version::unit_test: return "T";
  }
  return "U";
}

std::ostream& operator<<(std::ostream& os, Version::Type type) {
  return os << version_string(type);
}
