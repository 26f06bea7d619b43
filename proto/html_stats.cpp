#include "proto/html_stats.h"

#include <istream>
#include <ostream>

namespace Stat {
namespace Html {

namespace {

// Stands in for the object of a skipped section: it knows nothing, so nested sections are
// skipped as well.
class UnknownObject : public Object {
 public:
  Value statistics_value(const std::string&) const override { return Value(); }
  Object* statistics_object(const std::string&) const override { return nullptr; }
  std::unique_ptr<IteratorBase> statistics_iterator(const std::string&) const override {
    return nullptr;
  }
};

}  // namespace

GeneratorV1::GeneratorV1(Object& root, std::ostream& out, std::istream& in)
    : out_(out), in_(in), stack_{&root}, current_(&root) {}

bool GeneratorV1::generate() {
  ignore_ = 0;
  return generate_body();
}

bool GeneratorV1::generate_body() {
  for (;;) {
    switch (parse()) {
      case end_of_input:
        return true;
      case value:
        put_value();
        break;
      case section: {
        if (name_ == "end") return true;
        std::unique_ptr<IteratorBase> it = current_->statistics_iterator(name_);
        if (!it) {
          sub_object(name_);
        } else if (!it->valid()) {
          ignore_object();
        } else {
          const std::istream::pos_type body = in_.tellg();
          sub_object(*it->object());
          if (it->next()) {
            while (it->valid()) {
              in_.seekg(body);
              sub_object(*it->object());
              it->next();
            }
          }
        }
        break;
      }
    }
  }
}

void GeneratorV1::put_value() {
  for (auto o = stack_.rbegin(); o != stack_.rend(); ++o) {
    Value v = (*o)->statistics_value(name_);
    if (v) {
      put(v.text());
      return;
    }
  }
  put(capture_);
}

GeneratorV1::TokenKind GeneratorV1::parse() {
  next_state(&GeneratorV1::pinput_initial, &GeneratorV1::poutput_pass);
  kind_ = end_of_input;
  name_.clear();
  complete_ = false;
  capture_.clear();
  char c;
  while (in_.get(c)) {
    (this->*input_)(c);
    (this->*output_)(c);
    if (complete_) return kind_;
  }
  name_.clear();
  return end_of_input;
}

void GeneratorV1::sub_object(const std::string& name) {
  Object* o = current_->statistics_object(name);
  if (o)
    sub_object(*o);
  else
    ignore_object();
}

void GeneratorV1::sub_object(Object& object) {
  stack_.push_back(&object);
  current_ = &object;
  generate_body();
  stack_.pop_back();
  current_ = stack_.back();
}

void GeneratorV1::ignore_object() {
  UnknownObject unknown;
  ++ignore_;
  sub_object(unknown);
  --ignore_;
}

void GeneratorV1::pinput_initial(char c) {
  if (c == '<')
    next_state(&GeneratorV1::pinput_section_open, &GeneratorV1::poutput_capture);
  else if (c == '%')
    next_state(&GeneratorV1::pinput_value_open, &GeneratorV1::poutput_capture);
}

void GeneratorV1::pinput_section_open(char c) {
  if (c == '!')
    next_input(&GeneratorV1::pinput_section_comment1);
  else
    flush_to_body();
}

void GeneratorV1::pinput_section_body(char c) {
  if (c == '>') next_input(&GeneratorV1::pinput_initial);
}

void GeneratorV1::pinput_section_comment1(char c) {
  if (c == '-')
    next_input(&GeneratorV1::pinput_section_comment2);
  else
    flush_to_body();
}

void GeneratorV1::pinput_section_comment2(char c) {
  if (c != '-') {
    flush_to_body();
    return;
  }
  name_.clear();
  kind_ = section;
  next_input(&GeneratorV1::pinput_section_obj_begin1);
}

void GeneratorV1::expect(char c, char expected, InputState next) {
  if (c == expected)
    next_input(next);
  else
    flush_to_body();
}

void GeneratorV1::pinput_section_obj_begin1(char c) {
  expect(c, 'G', &GeneratorV1::pinput_section_obj_begin2);
}

void GeneratorV1::pinput_section_obj_begin2(char c) {
  expect(c, 'E', &GeneratorV1::pinput_section_obj_begin3);
}

void GeneratorV1::pinput_section_obj_begin3(char c) {
  expect(c, 'N', &GeneratorV1::pinput_section_obj_begin4);
}

void GeneratorV1::pinput_section_obj_begin4(char c) {
  expect(c, '.', &GeneratorV1::pinput_section_obj_name);
}

void GeneratorV1::pinput_section_obj_name(char c) {
  if (c == '-')
    next_input(&GeneratorV1::pinput_section_obj_name_end1);
  else
    name_ += c;
}

void GeneratorV1::pinput_section_obj_name_end1(char c) {
  if (c == '-') {
    next_input(&GeneratorV1::pinput_section_obj_name_end2);
  } else {
    name_ += '-';
    name_ += c;
    next_input(&GeneratorV1::pinput_section_obj_name);
  }
}

void GeneratorV1::pinput_section_obj_name_end2(char c) {
  if (c == '>') complete();
}

void GeneratorV1::pinput_value_open(char c) {
  if (c == '%') {
    put(c);
    next_state(&GeneratorV1::pinput_initial, &GeneratorV1::poutput_pass);
    return;
  }
  name_.assign(1, c);
  kind_ = value;
  next_input(&GeneratorV1::pinput_value_body);
}

void GeneratorV1::pinput_value_body(char c) {
  if (c == '%')
    complete();
  else
    name_ += c;
}

void GeneratorV1::complete() {
  complete_ = true;
  next_input(&GeneratorV1::pinput_initial);
}

void GeneratorV1::flush_to_body() {
  put(capture_);
  next_state(&GeneratorV1::pinput_section_body, &GeneratorV1::poutput_pass);
}

void GeneratorV1::poutput_pass(char c) { put(c); }

void GeneratorV1::poutput_capture(char c) { capture_ += c; }

void GeneratorV1::next_output(OutputState state) {
  if (state == output_) return;
  output_ = state;
  if (state == &GeneratorV1::poutput_capture) capture_.clear();
}

void GeneratorV1::next_state(InputState input, OutputState output) {
  next_input(input);
  next_output(output);
}

void GeneratorV1::put(char c) {
  if (ignore_ == 0) out_.put(c);
}

void GeneratorV1::put(const std::string& s) {
  if (ignore_ == 0) out_ << s;
}

bool generateV1(Object& root, std::ostream& out, std::istream& in) {
  return GeneratorV1(root, out, in).generate();
}

}  // namespace Html
}  // namespace Stat
