// CHOICE: the index of the selected alternative and an owned value of it.
//
// choiceID is -1 while nothing is selected, -2 after a selection failed, 0..numberOfRoots-1 for
// a root alternative and higher for an extension alternative.
#pragma once

#include "asn1/abstract_data.h"

namespace ASN1 {

class CHOICE : public AbstractData {
 public:
  enum { unselected_ = -1, unknownSelection_ = -2 };

  static AbstractData* create(const void* info);
  // Takes ownership of `selection`.
  explicit CHOICE(const void* info, int id = -1, AbstractData* selection = nullptr)
      : AbstractData(info), choice(selection), choiceID(id) {}
  CHOICE(const CHOICE& other);
  CHOICE& operator=(const CHOICE& other);
  ~CHOICE() override;

  const ChoiceInfo* info() const { return static_cast<const ChoiceInfo*>(info_); }
  int currentSelection() const { return choiceID; }
  AbstractData* getSelection() { return choice; }
  const AbstractData* getSelection() const { return choice; }
  // The name of the selected alternative, or null.
  const char* getSelectionName() const;

  // Deletes the old selection and takes ownership of `value`; returns `value`.
  AbstractData* setSelection(int id, AbstractData* value);
  // Builds the default value of alternative choiceID; on an index without a record the CHOICE
  // becomes invalid (-2, no selection) and the result is false.
  bool createSelection();
  // Selects alternative `id` with a default value unless it is selected already.
  bool select(int id);
  void swap(CHOICE& other);

  bool isValid() const;
  bool isStrictlyValid() const;

  AbstractData* choice;
  int choiceID;

 protected:
  int do_compare(const AbstractData& other) const override;
  AbstractData* do_clone() const override;
  bool do_accept(Visitor& v) override;
  bool do_accept(ConstVisitor& v) const override;
};

}  // namespace ASN1
