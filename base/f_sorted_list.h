// F_sorted_list: an F_dual_list whose items stay in non-decreasing order of T::compare
// (negative, zero or positive as the item sorts before, with or after the other).
#pragma once

#include "base/f_dual_list.h"

template <class T>
class F_sorted_list : public F_dual_list<T> {
 public:
  // Links `item` after the last item that does not sort after it, so items with equal keys keep
  // their insertion order. Walks from the tail: cheap when `item` sorts last or first.
  void insert_to_tail_by_grown(T* item) {
    T* first = this->first();
    if (first && first->compare(item) > 0) return this->insert_to_head(item);
    T* pos = this->last_item();
    while (pos && pos->compare(item) > 0) pos = pos->prev_item();
    this->insert_after(pos, item);
  }
};
