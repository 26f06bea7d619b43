// F_sorted_list: an F_dual_list whose items stay in order of T::fires_after (true when the item
// sorts after the other).
#pragma once

#include "base/f_dual_list.h"

template <class T>
class F_sorted_list : public F_dual_list<T> {
 public:
  // Links `item` after the last item that does not sort after it, so items with equal keys keep
  // their insertion order. Walks from the tail: cheap when `item` sorts last or first.
  void insert_to_tail_by_grown(T* item) {
    T* first = this->first();
    if (first && first->fires_after(item)) return this->insert_to_head(item);
    T* pos = this->last_item();
    while (pos && pos->fires_after(item)) pos = pos->prev_item();
    this->insert_after(pos, item);
  }
};
