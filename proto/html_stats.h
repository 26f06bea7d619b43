// HTML statistics pages: a template copied from an input stream to an output stream, with two
// kinds of directives replaced on the way by data from a tree of statistics objects.
//
//   %name%                   a value, looked up in the current object and then in each enclosing
//                            one up to the root; written back unchanged when none has it.
//                            "%%" is written as it stands.
//   <!--GEN.name-->          opens a section: the body up to the matching <!--GEN.end--> is
//                            expanded once for the sub-object called name, or once per element
//                            of the collection called name, or skipped when there is neither.
//                            Text between the closing "--" and ">" is ignored.
//
// Directives are recognised by a character-level state machine; the characters of a possible
// directive are held back until it is known to be one (then they are consumed) or not (then
// they are written unchanged). From a "<" that does not start a directive up to the next ">",
// "%" has no meaning, so attribute values are never replaced. Held-back characters are dropped
// at the end of the input. Repeated sections read their body again, so the input stream must
// support tellg and seekg.
#pragma once

#include <iosfwd>
#include <list>
#include <memory>
#include <string>

namespace Stat {

// The result of a value lookup: invalid (empty text) when the object has no such value.
class Value {
 public:
  Value() = default;
  explicit Value(std::string text) : valid_(true), text_(std::move(text)) {}
  explicit operator bool() const { return valid_; }
  const std::string& text() const { return text_; }

 private:
  bool valid_ = false;
  std::string text_;
};

class Object;

// Walks the elements of a collection.
class IteratorBase {
 public:
  virtual ~IteratorBase() = default;
  // An element is at hand.
  virtual bool valid() const = 0;
  // Moves to the next element; false stops the generator after the first element.
  virtual bool next() = 0;
  virtual Object* object() const = 0;
};

// One node of a statistics tree. The generator owns no object, only the iterators it is given.
class Object {
 public:
  virtual ~Object() = default;
  virtual Value statistics_value(const std::string& name) const = 0;
  virtual Object* statistics_object(const std::string& name) const = 0;
  virtual std::unique_ptr<IteratorBase> statistics_iterator(const std::string& name) const = 0;
};

namespace Html {

class GeneratorV1 {
 public:
  GeneratorV1(Object& root, std::ostream& out, std::istream& in);
  GeneratorV1(const GeneratorV1&) = delete;
  GeneratorV1& operator=(const GeneratorV1&) = delete;

  // Copies the whole template; always true.
  bool generate();

 private:
  enum TokenKind { section = 0, value = 1, end_of_input = 2 };
  using InputState = void (GeneratorV1::*)(char);
  using OutputState = void (GeneratorV1::*)(char);

  // One nesting level: up to its GEN.end or the end of the input.
  bool generate_body();
  // Reads up to the next complete token (or the end of the input).
  TokenKind parse();
  void sub_object(const std::string& name);
  void sub_object(Object& object);
  // Reads the section's body, nested sections included, and writes nothing of it.
  void ignore_object();
  void put_value();

  void pinput_initial(char c);
  void pinput_section_open(char c);
  void pinput_section_body(char c);
  void pinput_section_comment1(char c);
  void pinput_section_comment2(char c);
  void pinput_section_obj_begin1(char c);
  void pinput_section_obj_begin2(char c);
  void pinput_section_obj_begin3(char c);
  void pinput_section_obj_begin4(char c);
  void pinput_section_obj_name(char c);
  void pinput_section_obj_name_end1(char c);
  void pinput_section_obj_name_end2(char c);
  void pinput_value_open(char c);
  void pinput_value_body(char c);

  void poutput_pass(char c);
  void poutput_capture(char c);

  // A GEN directive's fixed letter: on `expected` go to `next`, else it was no directive.
  void expect(char c, char expected, InputState next);
  // The held-back characters were no directive: write them, then pass this one.
  void flush_to_body();
  void next_input(InputState state) { input_ = state; }
  // Entering the capture starts it afresh.
  void next_output(OutputState state);
  void next_state(InputState input, OutputState output);
  // A directive is read whole: the next token starts from scratch.
  void complete();

  void put(char c);
  void put(const std::string& s);

  std::ostream& out_;
  std::istream& in_;
  std::list<Object*> stack_;
  Object* current_;
  int ignore_ = 0;
  InputState input_ = &GeneratorV1::pinput_initial;
  OutputState output_ = &GeneratorV1::poutput_pass;
  TokenKind kind_ = end_of_input;
  std::string name_;
  bool complete_ = false;
  std::string capture_;
};

// Fills the template read from `in` with the statistics of `root` and writes it to `out`.
bool generateV1(Object& root, std::ostream& out, std::istream& in);

}  // namespace Html
}  // namespace Stat
