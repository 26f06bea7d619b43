#include "asn1/choice.h"

#include <utility>

#include <boost/polymorphic_cast.hpp>

#include "asn1/visitor.h"

namespace ASN1 {

AbstractData* CHOICE::create(const void* info) { return new CHOICE(info); }

CHOICE::CHOICE(const CHOICE& other)
    : AbstractData(other),
      choice(other.choice ? other.choice->clone() : nullptr),
      choiceID(other.choiceID) {}

CHOICE& CHOICE::operator=(const CHOICE& other) {
  if (this != &other) {
    AbstractData* copy = other.choice ? other.choice->clone() : nullptr;
    delete choice;
    choice = copy;
    choiceID = other.choiceID;
    info_ = other.info_;
  }
  return *this;
}

CHOICE::~CHOICE() { delete choice; }

const char* CHOICE::getSelectionName() const {
  if (choiceID < 0 || static_cast<uint32_t>(choiceID) >= info()->totalSelections) return nullptr;
  return info()->selectionNames[choiceID];
}

AbstractData* CHOICE::setSelection(int id, AbstractData* value) {
  if (value != choice) delete choice;
  choice = value;
  choiceID = id;
  return value;
}

bool CHOICE::createSelection() {
  const ChoiceInfo* r = info();
  if (choiceID >= 0 && static_cast<uint32_t>(choiceID) < r->totalSelections &&
      r->selectionInfos[choiceID] != nullptr) {
    const TypeInfo* alt = r->selectionInfos[choiceID];
    AbstractData* value = alt->create(alt);
    delete choice;
    choice = value;
    return true;
  }
  choiceID = unknownSelection_;
  delete choice;
  choice = nullptr;
  return false;
}

bool CHOICE::select(int id) {
  if (id == choiceID && choice != nullptr) return true;
  choiceID = id;
  return createSelection();
}

void CHOICE::swap(CHOICE& other) {
  std::swap(choice, other.choice);
  std::swap(choiceID, other.choiceID);
}

bool CHOICE::isValid() const {
  if (choiceID < 0 || choice == nullptr) return false;
  if (static_cast<uint32_t>(choiceID) >= info()->numberOfRoots && !info()->extendable)
    return false;
  return choice->isValid();
}

bool CHOICE::isStrictlyValid() const {
  return choiceID >= 0 && static_cast<uint32_t>(choiceID) < info()->numberOfRoots &&
         choice != nullptr && choice->isStrictlyValid();
}

int CHOICE::do_compare(const AbstractData& other) const {
  const CHOICE& o = *boost::polymorphic_downcast<const CHOICE*>(&other);
  if (choiceID >= 0 && choiceID == o.choiceID) {
    if (choice && o.choice) return choice->compare(*o.choice);
    return int{choice != nullptr} - int{o.choice != nullptr};
  }
  return choiceID < o.choiceID ? -1 : (choiceID > o.choiceID ? 1 : 0);
}

AbstractData* CHOICE::do_clone() const { return clone_through_record(*this); }
bool CHOICE::do_accept(Visitor& v) { return v.do_visit(*this); }
bool CHOICE::do_accept(ConstVisitor& v) const { return v.do_visit(*this); }

}  // namespace ASN1
