#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "base/cyclic_list.h"
#include "base/f_dual_list.h"
#include "base/f_sorted_list.h"

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

TEST(FDualList, LinksAndUnlinksAnywhere) {
  Item a(1), b(2), c(3), d(4);
  F_dual_list<Item> list;
  EXPECT_EQ(list.remove_from_head(), nullptr);
  list.push_back(&b);
  list.insert_to_head(&a);
  list.insert_to_tail(&d);
  list.insert_after(&b, &c);
  EXPECT_EQ(keys(list), (std::vector<int>{1, 2, 3, 4}));
  EXPECT_EQ(list.remove(&c), &c);
  EXPECT_EQ(keys(list), (std::vector<int>{1, 2, 4}));
  EXPECT_EQ(list.remove(&d), &d);
  EXPECT_EQ(list.remove_from_head(), &a);
  EXPECT_EQ(keys(list), (std::vector<int>{2}));
  EXPECT_FALSE(c.listed());
  EXPECT_EQ(c.next_item(), nullptr);
  EXPECT_EQ(list.remove_from_head(), &b);
  EXPECT_TRUE(list.empty());
}

TEST(FDualList, MembershipComesFromTheListNotTheLinks) {
  Item a(1), b(2), c(3);
  F_dual_list<Item> one, two;
  one.push_back(&a);
  one.push_back(&b);
  two.push_back(&c);
  // Removing from the wrong list, or twice, changes nothing.
  EXPECT_EQ(two.remove(&a), nullptr);
  EXPECT_EQ(one.remove(&b), &b);
  EXPECT_EQ(one.remove(&b), nullptr);
  EXPECT_EQ(keys(one), (std::vector<int>{1}));
  EXPECT_EQ(keys(two), (std::vector<int>{3}));
  // Linking an item that is on another list moves it.
  two.push_back(&a);
  EXPECT_TRUE(a.on(two));
  EXPECT_TRUE(one.empty());
  EXPECT_EQ(keys(two), (std::vector<int>{3, 1}));
  two.push_back(&c);
  EXPECT_EQ(keys(two), (std::vector<int>{1, 3}));
}

TEST(FDualList, MergeExchangesContents) {
  Item a(1), b(2), c(3);
  F_dual_list<Item> one, two;
  one.push_back(&a);
  one.push_back(&b);
  two.push_back(&c);
  one.merge(two);
  EXPECT_EQ(keys(one), (std::vector<int>{3}));
  EXPECT_EQ(keys(two), (std::vector<int>{1, 2}));
  EXPECT_TRUE(c.on(one));
  EXPECT_EQ(two.remove(&a), &a);
}

TEST(FSortedList, EqualKeysKeepInsertionOrder) {
  Item x1(5), x2(5), early(1), late(9), x3(5);
  F_sorted_list<Item> list;
  for (Item* i : {&x1, &x2, &late, &early, &x3}) list.insert_to_tail_by_grown(i);
  std::vector<Item*> order;
  for (auto it = list.begin(); it != list.end(); ++it) order.push_back(it.get());
  EXPECT_EQ(order, (std::vector<Item*>{&early, &x1, &x2, &x3, &late}));
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
  // The raw primitive drops `a` from the ring and leaves its links to its caller.
  Containers::CyclicList::InternalDel(&head, &b);
  a.InternalInit();
  EXPECT_EQ(walk(head), "b");
  EXPECT_FALSE(a.linked());
}

}  // namespace
