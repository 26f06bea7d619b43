#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "base/cyclic_list.h"
#include "base/f_dual_list.h"

namespace {

struct Item : F_dual_list_item<Item> {
  explicit Item(int k = 0) : key(k) {}
  int compare(const Item* o) const { return key - o->key; }
  int key;
};

std::vector<int> keys(const F_dual_list<Item>& list) {
  std::vector<int> out;
  for (auto it = list.begin(); it != list.end(); ++it) out.push_back(it->key);
  std::vector<int> back;
  for (Item* i = list.last_item(); i; i = i->prev_item()) back.insert(back.begin(), i->key);
  EXPECT_EQ(out, back) << "forward and backward links disagree";
  EXPECT_EQ(out.size(), list.count());
  return out;
}

TEST(FDualList, LinksUnlinksAndKnowsWhichListHoldsAnItem) {
  Item a(1), b(2), c(3), d(4);
  F_dual_list<Item> list, other;
  EXPECT_EQ(list.remove_from_head(), nullptr);
  list.push_back(&b);
  list.insert_to_head(&a);
  list.insert_to_tail(&d);
  list.insert_after(&b, &c);
  EXPECT_EQ(keys(list), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(list.remove(&c), &c);
  EXPECT_EQ(list.remove(&c), nullptr) << "a second removal changes nothing";
  EXPECT_EQ(other.remove(&a), nullptr) << "nor does removal from the wrong list";
  EXPECT_EQ(list.remove(&d), &d);
  EXPECT_EQ(list.remove_from_head(), &a);
  EXPECT_EQ(keys(list), (std::vector<int>{2}));
  EXPECT_EQ(c.next_item(), nullptr);
  // Linking an item that another list holds moves it.
  other.push_back(&c);
  other.push_back(&b);
  EXPECT_TRUE(b.on(other));
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(keys(other), (std::vector<int>{3, 2}));
}

struct Node : Containers::CyclicList {
  explicit Node(char n) : name(n) {}
  char name;
};

std::string walk(Containers::CyclicList& head) {
  std::string out;
  for (auto it = head.begin(); it != head.end(); ++it) out += static_cast<Node&>(*it).name;
  return out;
}

TEST(CyclicList, LinksUnlinksAndSurvivesDestroyedNodes) {
  Containers::CyclicList head;
  EXPECT_TRUE(head.empty());
  EXPECT_EQ(head.next(), &head);
  Node a('a'), b('b');
  {
    Node c('c');
    head.push_back(&a);
    head.push_back(&b);
    head.push_back(&c);
    EXPECT_EQ(walk(head), "abc");
    b.unlink();
    EXPECT_FALSE(b.linked());
    EXPECT_EQ(walk(head), "ac");
    head.push_back(&b);
    EXPECT_EQ(walk(head), "acb");
  }
  EXPECT_EQ(walk(head), "ab");
}

}  // namespace
