"""C++ output: per module a header with one class per type and a source with the constant
type-information records (asn1/type_info.h) and the accessors.

Every SEQUENCE, CHOICE and ENUMERATED type of the module that has tables becomes a class of the
same name in the module's namespace, deriving from the runtime class of its kind, with a static
`theInfo` record whose create() builds an object of that class. Components without a name of
their own (ranged INTEGERs, sized strings, SEQUENCE OF lists) use the runtime's classes; their
records are shared within a module.
"""

from schema import Builtin, IA5String, Integer, Reference, SequenceOf

CXX_KEYWORDS = frozenset('''
alignas alignof and and_eq asm auto bitand bitor bool break case catch char char16_t char32_t
class compl const constexpr const_cast continue decltype default delete do double dynamic_cast
else enum explicit export extern false float for friend goto if inline int long mutable
namespace new noexcept not not_eq nullptr operator or or_eq private protected public register
reinterpret_cast return short signed sizeof static static_assert static_cast struct switch
template this thread_local throw true try typedef typeid typename union unsigned using virtual
void volatile wchar_t while xor xor_eq
'''.split())

# Members of the runtime base classes that an enumerator constant must not hide.
BASE_MEMBERS = frozenset('''
value info create theInfo getName setFromName asInt getMaximum extendable isStrictlyValid
isValid compare clone accept NamedNumber
'''.split())

BUILTIN_CLASSES = {
    'NULL': 'ASN1::Null',
    'BOOLEAN': 'ASN1::BOOLEAN',
    'OCTET STRING': 'ASN1::OCTET_STRING',
    'OBJECT IDENTIFIER': 'ASN1::OBJECT_IDENTIFIER',
}

BASE_CLASS = {'SEQUENCE': 'ASN1::SEQUENCE', 'CHOICE': 'ASN1::CHOICE',
              'ENUMERATED': 'ASN1::ENUMERATED'}
INFO_CLASS = {'SEQUENCE': 'ASN1::SequenceInfo', 'CHOICE': 'ASN1::ChoiceInfo',
              'ENUMERATED': 'ASN1::EnumeratedInfo'}

RUNTIME_HEADERS = ['asn1/choice.h', 'asn1/sequence.h', 'asn1/sequence_of.h', 'asn1/strings.h',
                   'asn1/values.h']

UINT32_MAX = 4294967295

ACCESSORS_NOTE = '''\
// Each class derives from the runtime class of its kind and adds no data. A SEQUENCE field f
// has get_f() and set_f(v); an optional field also has has_f(), include_f() (marks it present,
// builds it if needed and returns it) and remove_f(), and set_f(v) marks it present; get_f() of
// an optional field is valid while has_f() is true. A CHOICE alternative a has
// is_a(), get_a() (valid while a is selected) and select_a() (selects a, keeping its value when
// a is selected already, and returns it). An ENUMERATED class has the enumerators' numbers as
// NamedNumber constants ("-" in a name becomes "_").

'''


def identifier(name):
    """A C++ identifier for an ASN.1 name: "-" becomes "_"."""
    return name.replace('-', '_')


def constant(name):
    """An enumerator constant: the identifier, with "_" added where it would be a keyword or
    hide a member of the base class."""
    ident = identifier(name)
    return ident + '_' if ident in CXX_KEYWORDS or ident in BASE_MEMBERS else ident


class ModuleEmitter:
    def __init__(self, module, source_name):
        self.module = module
        self.source_name = source_name
        self.records = {}  # C++ name of a shared component record -> definition, first use first

    # -- component types ------------------------------------------------------------------

    def cxx_class(self, t):
        """The C++ class of a value of type t."""
        if isinstance(t, Builtin):
            return BUILTIN_CLASSES[t.kind]
        if isinstance(t, Integer):
            if t.ranged:
                return 'ASN1::Constrained_INTEGER<ASN1::FixedConstraint, %d, %du>' % (t.lower,
                                                                                    t.upper)
            return 'ASN1::INTEGER'
        if isinstance(t, IA5String):
            return 'ASN1::IA5String'
        if isinstance(t, SequenceOf):
            return 'ASN1::%s<%s>' % ('SET_OF' if t.is_set else 'SEQUENCE_OF',
                                     self.cxx_class(t.element))
        if isinstance(t, Reference):
            return '%s::%s' % (t.target.module.name, t.target.name)
        raise AssertionError(t)

    def record(self, t):
        """An expression for the address of t's record."""
        if isinstance(t, IA5String) and t.sized:
            name = 'ia5string_size_%d_%d' % (t.min_size, t.max_size)
            self.share(name, 'const ASN1::StringInfo %s = {\n'
                             '    {{&ASN1::IA5String::create, ASN1::TagIA5String}, '
                             'ASN1::FixedConstraint, %d, %du},\n'
                             '    ASN1::ia5_character_set, 128, 7, 7, 8};\n'
                       % (name, t.min_size, t.max_size))
            return '&' + name
        if isinstance(t, SequenceOf):
            element = self.record(t.element)
            name = '%s_%s' % ('set_of' if t.is_set else 'sequence_of', mangle(element))
            self.share(name, 'const ASN1::SequenceOfInfo %s = {\n'
                             '    {{&ASN1::create_view<%s>, %s}, '
                             'ASN1::Unconstrained, 0, %du},\n'
                             '    %s};\n'
                       % (name, self.cxx_class(t),
                          'ASN1::TagSet' if t.is_set else 'ASN1::TagSequence', UINT32_MAX,
                          element))
            return '&' + name
        return '&%s::theInfo' % self.cxx_class(t)

    def share(self, name, definition):
        self.records.setdefault(name, definition)

    # -- header ---------------------------------------------------------------------------

    def header(self, imports):
        out = [banner(self.source_name), ACCESSORS_NOTE,
               '#pragma once\n\n#include <cstdint>\n#include <string>\n\n']
        for h in RUNTIME_HEADERS:
            out.append('#include "%s"\n' % h)
        for m in imports:
            out.append('#include "asn1/modules/%s.h"\n' % m.lower())
        out.append('\nnamespace %s {\n\n' % self.module.name)
        # Enumerations first: other classes' setters name their NamedNumber.
        generated = [t for t in self.module.types.values() if t.generated]
        generated.sort(key=lambda t: t.kind != 'ENUMERATED')
        for t in generated:
            out.append('class %s;\n' % t.name)
        if generated:
            out.append('\n')
        definitions = []
        for t in generated:
            declaration, inline = self.class_declaration(t)
            out.append(declaration)
            definitions.append(inline)
        if any(definitions):
            out.append('// Accessors, after every class so that the component classes are '
                       'complete.\n\n')
            out.extend(d for d in definitions if d)
        left_out = [t for t in self.module.types.values() if not t.generated]
        if left_out:
            out.append('// Declared by name and kind only, or reaching such a type; no tables:\n')
            for t in left_out:
                out.append('//   %s %s\n' % (t.name, t.kind))
            out.append('\n')
        out.append('}  // namespace %s\n' % self.module.name)
        return ''.join(out)

    def class_declaration(self, t):
        """(class definition, inline member definitions placed after every class, so that
        the component classes are complete)."""
        kind = t.kind
        out = ['// %s ::= %s\n' % (t.name, kind),
               'class %s : public %s {\n public:\n' % (t.name, BASE_CLASS[kind])]
        if kind == 'ENUMERATED':
            out.append('  enum NamedNumber : int32_t {\n')
            for e in t.type.items:
                out.append('    %s = %d,\n' % (constant(e.name), e.number))
            out.append('  };\n\n')
        out.append('  static const %s theInfo;\n\n' % INFO_CLASS[kind])
        out.append('  %s() : %s(&theInfo) {}\n' % (t.name, BASE_CLASS[kind]))
        if kind == 'ENUMERATED':
            out.append('  explicit %s(NamedNumber v) : ASN1::ENUMERATED(&theInfo) { value = v; }\n'
                       % t.name)
        out.append('  %s(const %s&) = default;\n' % (t.name, t.name))
        out.append('  %s& operator=(const %s&) = default;\n' % (t.name, t.name))
        out.append('  ~%s() override;\n' % t.name)
        members = []
        if kind == 'ENUMERATED':
            out.append('\n  %s& operator=(NamedNumber v) {\n    value = v;\n    return *this;\n  }\n'
                       '  NamedNumber getValue() const { return static_cast<NamedNumber>(value); }\n'
                       % t.name)
        elif kind == 'SEQUENCE':
            members = self.sequence_accessors(t)
        else:
            out.append('\n  enum Id {\n')
            for i, a in enumerate(t.type.alternatives):
                out.append('    e_%s = %d,\n' % (identifier(a.name), i))
            out.append('  };\n')
            members = self.choice_accessors(t)
        definitions = []
        for comment, accessors in members:
            out.append('\n  // %s\n' % comment)
            for declaration, body in accessors:
                out.append('  %s;\n' % declaration)
                definitions.append(inline_definition(t.name, declaration, body))
        out.append('};\n\n')
        return ''.join(out), ''.join(definitions)

    def sequence_accessors(self, t):
        """Per field: (comment, [(declaration, body)])."""
        members = []
        for index, field, optional_id in sequence_layout(t.type):
            cls = self.cxx_class(field.type)
            name = identifier(field.name)
            field_ref = 'static_cast<%s*>(fields[%d])' % (cls, index)
            accessors = [('const %s& get_%s() const' % (cls, name),
                          'return *static_cast<const %s*>(fields[%d]);' % (cls, index))]
            if optional_id < 0:
                accessors.append(('%s& get_%s()' % (cls, name), 'return *%s;' % field_ref))
                store = 'get_%s()' % name
            else:
                accessors += [
                    ('bool has_%s() const' % name, 'return hasOptionalField(%d);' % optional_id),
                    ('%s& include_%s()' % (cls, name),
                     'includeOptionalField(%d, %d);\n  return *%s;' % (optional_id, index,
                                                                      field_ref)),
                    ('void remove_%s()' % name, 'removeOptionalField(%d);' % optional_id)]
                store = 'include_%s()' % name
            setter = self.setter(field.type, store)
            if setter:
                argument, body = setter
                accessors.append(('void set_%s(%s)' % (name, argument), body + ';'))
            members.append(('%s %s%s' % (field.name, describe(field.type),
                                         '' if optional_id < 0 else ' OPTIONAL'), accessors))
        return members

    def setter(self, t, store):
        """(parameter, statement) of the setter of a component, or None."""
        if isinstance(t, Integer):
            if t.ranged:
                return 'uint32_t v', '%s = v' % store
            return 'int32_t v', '%s.setValue(v)' % store
        if isinstance(t, Builtin):
            if t.kind == 'BOOLEAN':
                return 'bool v', '%s = v' % store
            if t.kind == 'OCTET STRING':
                return 'const std::string& v', '%s = v' % store
            return None
        if isinstance(t, IA5String):
            return 'const std::string& v', '%s = v' % store
        if isinstance(t, Reference) and t.target.kind == 'ENUMERATED':
            cls = self.cxx_class(t)
            return '%s::NamedNumber v' % cls, '%s = v' % store
        return 'const %s& v' % self.cxx_class(t), '%s = v' % store

    def choice_accessors(self, t):
        """Per alternative: (comment, [(declaration, body)])."""
        members = []
        for i, a in enumerate(t.type.alternatives):
            cls = self.cxx_class(a.type)
            name = identifier(a.name)
            members.append(('%s %s' % (a.name, describe(a.type)), [
                ('bool is_%s() const' % name, 'return choiceID == %d;' % i),
                ('const %s& get_%s() const' % (cls, name),
                 'return *static_cast<const %s*>(choice);' % cls),
                ('%s& get_%s()' % (cls, name), 'return *static_cast<%s*>(choice);' % cls),
                ('%s& select_%s()' % (cls, name),
                 'select(%d);\n  return *static_cast<%s*>(choice);' % (i, cls))]))
        return members

    # -- source ---------------------------------------------------------------------------

    def source(self):
        tables = []
        for t in self.module.types.values():
            if t.generated:
                tables.append(self.tables(t))
        out = [banner(self.source_name),
               '#include "asn1/modules/%s.h"\n\n' % self.module.name.lower(),
               'namespace %s {\nnamespace {\n\n' % self.module.name]
        for definition in self.records.values():
            out.append(definition)
            out.append('\n')
        out.extend(text for text, _ in tables)
        out.append('}  // namespace\n\n')
        out.extend(text for _, text in tables)
        out.append('}  // namespace %s\n' % self.module.name)
        return ''.join(out)

    def tables(self, t):
        """(private arrays, public record and destructor) of type t."""
        arrays, record = [], []
        kind = t.kind
        head = '{&ASN1::create_as<%s>, %s}' % (t.name, {'SEQUENCE': 'ASN1::TagSequence',
                                                       'CHOICE': '0',
                                                       'ENUMERATED': 'ASN1::TagEnumerated'}[kind])
        record.append('// %s ::= %s\n' % (t.name, kind))
        if kind == 'ENUMERATED':
            e = t.type
            names = e.table_names()
            arrays.append(string_array('%s_names' % t.name, names))
            numbers = 'nullptr'
            if not e.dense:
                numbers = '%s_numbers' % t.name
                arrays.append('const int32_t %s[] = {%s};\n' % (
                    numbers, ', '.join(str(i.number) for i in e.items)))
            record.append('const ASN1::EnumeratedInfo %s::theInfo = {\n    %s, %s, %d, %s_names, '
                          '%d, %s};\n' % (t.name, head, cxx_bool(e.extensible), e.max_value,
                                          t.name, len(names), numbers))
        elif kind == 'SEQUENCE':
            seq = t.type
            fields = seq.fields
            infos = self.pointer_array('%s_fieldInfos' % t.name, [f.type for f in fields])
            names = '%s_fieldNames' % t.name if fields else 'nullptr'
            ids = '%s_fieldIds' % t.name if seq.roots else 'nullptr'
            if fields:
                arrays.append(infos[1])
                arrays.append(string_array(names, [f.name for f in fields]))
            if seq.roots:
                arrays.append('const int32_t %s[] = {%s};\n' % (
                    ids, ', '.join(str(i) for i in seq.field_ids())))
            record.append('const ASN1::SequenceInfo %s::theInfo = {\n    %s, %s, %s, %s, %d, %d, '
                          '%d, nullptr, %s};\n' % (
                              t.name, head, cxx_bool(seq.extensible), infos[0], ids,
                              len(seq.roots), len(seq.additions), seq.optional_count, names))
        else:
            choice = t.type
            alternatives = choice.alternatives
            infos = self.pointer_array('%s_selectionInfos' % t.name,
                                       [a.type for a in alternatives])
            names = '%s_selectionNames' % t.name
            arrays.append(infos[1])
            arrays.append(string_array(names, [a.name for a in alternatives]))
            record.append('const ASN1::ChoiceInfo %s::theInfo = {\n    %s, %s, %s, %d, %d, '
                          'nullptr, %s};\n' % (t.name, head, cxx_bool(choice.extensible),
                                               infos[0], len(choice.roots), len(alternatives),
                                               names))
        record.append('%s::~%s() = default;\n\n' % (t.name, t.name))
        return ''.join(arrays) + '\n', ''.join(record)

    def pointer_array(self, name, types):
        if not types:
            return 'nullptr', ''
        items = ''.join('    %s,\n' % self.record(t) for t in types)
        return name, 'const ASN1::TypeInfo* const %s[] = {\n%s};\n' % (name, items)


def inline_definition(class_name, declaration, body):
    """The out-of-class inline definition of a member declared as `declaration`."""
    # The member name is the last word before the parameter list; qualify it with the class.
    open_paren = declaration.index('(')
    head = declaration[:open_paren]
    split = head.rfind(' ') + 1
    return 'inline %s%s::%s {\n  %s\n}\n' % (head[:split], class_name, declaration[split:],
                                           body)


def sequence_layout(seq):
    """(field index, field, optional id or -1) of every field: roots, then the known
    extensions with the ids after the optional roots."""
    ids = seq.field_ids()
    next_id = seq.optional_count
    for index, field in enumerate(seq.fields):
        if index < len(seq.roots):
            yield index, field, ids[index]
        else:
            yield index, field, next_id
            next_id += 1


def describe(t):
    """The ASN.1 text of a component type, for the comment above its accessors."""
    if isinstance(t, Integer) and t.ranged:
        return 'INTEGER (%d..%d)' % (t.lower, t.upper)
    if isinstance(t, IA5String) and t.sized:
        return 'IA5String (SIZE (%d..%d))' % (t.min_size, t.max_size)
    if isinstance(t, SequenceOf):
        return '%s %s' % (t.kind, describe(t.element))
    if isinstance(t, Reference):
        return '%s.%s' % (t.target.module.name, t.target.name)
    return t.kind


def mangle(expression):
    """A name part from a record expression such as "&TERM::HostAddress::theInfo"."""
    text = expression.lstrip('&')
    if text.endswith('::theInfo'):
        text = text[:-len('::theInfo')]
    for old, new in (('ASN1::', ''), ('::', '_'), ('<', '_'), ('>', ''), (', ', '_'),
                     (',', '_'), (' ', '')):
        text = text.replace(old, new)
    return text


def cxx_bool(value):
    return 'true' if value else 'false'


def string_array(name, strings):
    items = ''.join('    "%s",\n' % s for s in strings)
    return 'const char* const %s[] = {\n%s};\n' % (name, items)


def banner(source_name):
    return ('// Generated by tools/asn1gen from %s. Do not edit: change the schema or the\n'
            '// generator instead.\n\n' % source_name)


def imported_modules(module):
    """Modules whose classes this module's tables name, in first-use order."""
    seen = []
    for t in module.types.values():
        if not t.generated:
            continue
        for ref in t.type.references():
            name = ref.target.module.name
            if name != module.name and name not in seen:
                seen.append(name)
    return seen


def emit(module, source_name):
    """(header text, source text) of a module."""
    emitter = ModuleEmitter(module, source_name)
    source = emitter.source()
    return emitter.header(sorted(imported_modules(module))), source
