#include "proto/html_stats.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <vector>

namespace {

// A statistics node built from maps: values, sub-objects and collections by name.
struct Node : Stat::Object {
  std::map<std::string, std::string> values;
  std::map<std::string, Node*> objects;
  std::map<std::string, std::vector<Node*>> lists;
  // An iterator whose next() says "stop" stops after the first element.
  bool next_stops = false;

  struct Iter : Stat::IteratorBase {
    Iter(const std::vector<Node*>& v, bool stops) : v(v), stops(stops) {}
    bool valid() const override { return i < v.size(); }
    bool next() override {
      ++i;
      return !stops;
    }
    Stat::Object* object() const override { return v[i]; }
    const std::vector<Node*>& v;
    bool stops;
    size_t i = 0;
  };

  Stat::Value statistics_value(const std::string& n) const override {
    auto it = values.find(n);
    return it == values.end() ? Stat::Value() : Stat::Value(it->second);
  }
  Stat::Object* statistics_object(const std::string& n) const override {
    auto it = objects.find(n);
    return it == objects.end() ? nullptr : it->second;
  }
  std::unique_ptr<Stat::IteratorBase> statistics_iterator(const std::string& n) const override {
    auto it = lists.find(n);
    if (it == lists.end()) return nullptr;
    return std::unique_ptr<Stat::IteratorBase>(new Iter(it->second, next_stops));
  }
};

std::string generate(Node& root, const std::string& tpl) {
  std::istringstream in(tpl);
  std::ostringstream out;
  EXPECT_TRUE(Stat::Html::generateV1(root, out, in));
  return out.str();
}

}  // namespace

TEST(HtmlStats, TemplatesExpandAsWritten) {
  Node e1, e2, e3, port, root, empty_list_owner;
  root.values = {{"x", "5"}, {"host", "gw"}};
  e1.values = {{"n", "1"}};
  e2.values = {{"n", "2"}, {"host", "inner"}};
  e3.values = {{"n", "3"}};
  port.values = {{"speed", "2048"}};
  port.objects = {{"self", &port}};
  root.objects = {{"port", &port}};
  root.lists = {{"calls", {&e1, &e2, &e3}}, {"none", {}}};

  struct Case {
    const char* name;
    const char* tpl;
    const char* want;
  } cases[] = {
      {"value", "a%x%b", "a5b"},
      {"unknown value kept", "a%y%b", "a%y%b"},
      {"double percent", "100%% sure", "100%% sure"},
      {"value in tag not replaced", "<td class=\"%x%\">%x%</td>", "<td class=\"%x%\">5</td>"},
      {"plain comment copied", "a<!-- note -->b", "a<!-- note -->b"},
      {"near miss directives copied", "<!-G><!--GX><!--GEN-x", "<!-G><!--GX><!--GEN-x"},
      {"collection repeats body, inner first",
       "[<!--GEN.calls-->%n%@%host%,<!--GEN.end-->]", "[1@gw,2@inner,3@gw,]"},
      {"empty collection writes nothing",
       "a<!--GEN.none-->X%x%<!--GEN.port-->Y<!--GEN.end--><!--GEN.end-->b", "ab"},
      {"unknown section skipped with nested ones",
       "a<!--GEN.nope-->X<!--GEN.port-->%speed%<!--GEN.end-->Z<!--GEN.end-->b", "ab"},
      {"sub-object, then nested", "<!--GEN.port-->%speed%/<!--GEN.self-->%x%<!--GEN.end--><!--GEN.end-->.",
       "2048/5."},
      {"note after name ignored", "<!--GEN.port-- any note>%speed%<!--GEN.end-->", "2048"},
      {"hyphen inside a name", "<!--GEN.po-rt-->X<!--GEN.end-->Y", "Y"},
      {"top-level end stops the run", "a<!--GEN.end-->b%x%", "a"},
      {"missing end closes at end of input", "<!--GEN.port-->%speed%", "2048"},
      {"held-back directive start lost at end", "ab<!--GEN.po", "ab"},
      {"ordinary tags pass", "<b>%x%</b>", "<b>5</b>"},
  };
  for (const Case& c : cases) EXPECT_EQ(c.want, generate(root, c.tpl)) << c.name;
}

TEST(HtmlStats, IteratorThatStopsExpandsOnce) {
  Node a, b, root;
  a.values = {{"n", "a"}};
  b.values = {{"n", "b"}};
  root.lists = {{"l", {&a, &b}}};
  root.next_stops = true;
  EXPECT_EQ("a;", generate(root, "<!--GEN.l-->%n%;<!--GEN.end-->"));
}
