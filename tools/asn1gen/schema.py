"""Reader of the schema notation: lexer, parser, type model and checker.

The notation is the subset of X.680 that the protocol modules use, plus what they need beyond
it: names may hold "_", several enumerators may share a number, an enumerator without a number
takes the previous number plus one, and a type may be declared by kind alone ("SEQUENCE
UNSPECIFIED"), in which case it has no tables and nothing that reaches it gets any either.
"""

import re


class SchemaError(Exception):
    """A fault in a schema, located by file and line."""

    def __init__(self, path, line, message):
        super().__init__('%s:%d: error: %s' % (path, line, message))


# ---------------------------------------------------------------------------------------------
# Lexer

TOKEN = re.compile(r'''
    (?P<space>[ \t\r]+) |
    (?P<newline>\n) |
    (?P<comment>--[^\n]*) |
    (?P<assign>::=) |
    (?P<ellipsis>\.\.\.) |
    (?P<range>\.\.) |
    (?P<number>-?[0-9]+) |
    (?P<name>[A-Za-z][A-Za-z0-9_]*(?:-[A-Za-z0-9_]+)*) |
    (?P<punct>[{}(),;.|])
''', re.VERBOSE)


class Token:
    def __init__(self, kind, text, line):
        self.kind, self.text, self.line = kind, text, line

    def __repr__(self):
        return '%s %r' % (self.kind, self.text)


def tokenize(path, text):
    tokens, line, pos = [], 1, 0
    while pos < len(text):
        m = TOKEN.match(text, pos)
        if not m:
            raise SchemaError(path, line, 'unexpected character %r' % text[pos])
        kind = m.lastgroup
        if kind == 'newline':
            line += 1
        elif kind not in ('space', 'comment'):
            tokens.append(Token(kind, m.group(), line))
        pos = m.end()
    tokens.append(Token('end', '', line))
    return tokens


# ---------------------------------------------------------------------------------------------
# Type model

class Type:
    """A type as written: a built-in kind, a reference or a structured type."""
    kind = None

    def references(self):
        return []


class Builtin(Type):
    """NULL, BOOLEAN, OBJECT IDENTIFIER, OCTET STRING."""

    def __init__(self, kind):
        self.kind = kind


class Integer(Type):
    kind = 'INTEGER'

    def __init__(self, lower=None, upper=None):
        self.lower, self.upper = lower, upper

    @property
    def ranged(self):
        return self.lower is not None


class IA5String(Type):
    kind = 'IA5String'

    def __init__(self, min_size=None, max_size=None):
        self.min_size, self.max_size = min_size, max_size

    @property
    def sized(self):
        return self.min_size is not None


class SequenceOf(Type):
    def __init__(self, element, is_set):
        self.element, self.is_set = element, is_set
        self.kind = 'SET OF' if is_set else 'SEQUENCE OF'

    def references(self):
        return self.element.references()


class Reference(Type):
    kind = 'reference'

    def __init__(self, module, name, line):
        self.module, self.name, self.line = module, name, line
        self.target = None  # the TypeDef, once resolved

    def references(self):
        return [self]


class Component:
    """A field of a SEQUENCE or an alternative of a CHOICE."""

    def __init__(self, name, type_, optional, line):
        self.name, self.type, self.optional, self.line = name, type_, optional, line


class Sequence(Type):
    kind = 'SEQUENCE'

    def __init__(self, roots, extensible, additions):
        self.roots, self.extensible, self.additions = roots, extensible, additions

    @property
    def fields(self):
        return self.roots + self.additions

    def references(self):
        return [r for f in self.fields for r in f.type.references()]

    def field_ids(self):
        """Optional id of each root field, -1 for a mandatory one."""
        ids, next_id = [], 0
        for f in self.roots:
            if f.optional:
                ids.append(next_id)
                next_id += 1
            else:
                ids.append(-1)
        return ids

    @property
    def optional_count(self):
        return sum(1 for f in self.roots if f.optional)


class Choice(Type):
    kind = 'CHOICE'

    def __init__(self, roots, extensible, additions):
        self.roots, self.extensible, self.additions = roots, extensible, additions

    @property
    def alternatives(self):
        return self.roots + self.additions

    def references(self):
        return [r for a in self.alternatives for r in a.type.references()]


class Enumerator:
    def __init__(self, name, number, explicit, line):
        self.name, self.number, self.explicit, self.line = name, number, explicit, line


class Enumerated(Type):
    kind = 'ENUMERATED'

    def __init__(self, items, extensible):
        self.items, self.extensible = items, extensible

    @property
    def max_value(self):
        return max(e.number for e in self.items)

    @property
    def dense(self):
        """True when enumerator i has the number i, so a value indexes the names table."""
        return all(e.number == i for i, e in enumerate(self.items))

    def table_names(self):
        """The names table: plain names when dense, otherwise "name=number" where the
        number was written."""
        if self.dense:
            return [e.name for e in self.items]
        return ['%s=%d' % (e.name, e.number) if e.explicit else e.name for e in self.items]


class TypeDef:
    """A type assignment "Name ::= Type" of a module."""

    def __init__(self, module, name, type_, line, unspecified_kind=None):
        self.module, self.name, self.type, self.line = module, name, type_, line
        self.unspecified_kind = unspecified_kind
        self.generated = False  # set by the checker: the type gets tables

    @property
    def kind(self):
        return self.unspecified_kind or self.type.kind

    @property
    def qualified(self):
        return '%s::%s' % (self.module.name, self.name)


class Module:
    def __init__(self, name, path, line):
        self.name, self.path, self.line = name, path, line
        self.imports = {}  # symbol -> (module name, line)
        self.types = {}    # name -> TypeDef, in the order written (dicts keep it)


# ---------------------------------------------------------------------------------------------
# Parser

STRUCTURED = ('SEQUENCE', 'CHOICE', 'ENUMERATED')


class Parser:
    def __init__(self, path, text):
        self.path = path
        self.tokens = tokenize(path, text)
        self.pos = 0

    def error(self, message, token=None):
        token = token or self.peek()
        return SchemaError(self.path, token.line, message)

    def peek(self, ahead=0):
        return self.tokens[min(self.pos + ahead, len(self.tokens) - 1)]

    def next(self):
        token = self.peek()
        self.pos += 1
        return token

    def accept(self, text):
        if self.peek().text == text and self.peek().kind != 'end':
            return self.next()
        return None

    def expect(self, text):
        token = self.accept(text)
        if not token:
            raise self.error('expected "%s", found "%s"' % (text, self.peek().text or 'end of file'))
        return token

    def name(self, what):
        token = self.next()
        if token.kind != 'name':
            raise SchemaError(self.path, token.line, 'expected %s, found "%s"'
                              % (what, token.text or 'end of file'))
        return token

    def number(self):
        token = self.next()
        if token.kind != 'number':
            raise SchemaError(self.path, token.line, 'expected a number, found "%s"'
                              % (token.text or 'end of file'))
        return int(token.text)

    def module(self):
        head = self.name('a module name')
        module = Module(head.text, self.path, head.line)
        self.expect('DEFINITIONS')
        if self.accept('AUTOMATIC'):
            self.expect('TAGS')
        self.expect('::=')
        self.expect('BEGIN')
        if self.accept('IMPORTS'):
            self.imports(module)
        while not self.accept('END'):
            self.assignment(module)
        if self.peek().kind != 'end':
            raise self.error('text after END')
        return module

    def imports(self, module):
        symbols = []
        while not self.accept(';'):
            if self.accept('FROM'):
                source = self.name('a module name').text
                if not symbols:
                    raise self.error('FROM without symbols')
                for token in symbols:
                    if token.text in module.imports:
                        raise SchemaError(self.path, token.line,
                                          'duplicate import "%s"' % token.text)
                    module.imports[token.text] = (source, token.line)
                symbols = []
                continue
            symbols.append(self.name('an imported type name'))
            if self.peek().text != 'FROM':
                self.expect(',')
        if symbols:
            raise self.error('imported symbols without FROM')

    def assignment(self, module):
        head = self.name('a type assignment')
        if not head.text[0].isupper():
            raise SchemaError(self.path, head.line, 'type name "%s" must start with a capital'
                              % head.text)
        self.expect('::=')
        if self.peek().text in STRUCTURED and self.peek(1).text == 'UNSPECIFIED':
            kind = self.next().text
            self.next()
            typedef = TypeDef(module, head.text, None, head.line, unspecified_kind=kind)
        else:
            typedef = TypeDef(module, head.text, self.type(top=True), head.line)
        if head.text in module.types:
            raise SchemaError(self.path, head.line, 'duplicate type "%s" (first at line %d)'
                              % (head.text, module.types[head.text].line))
        if head.text in module.imports:
            raise SchemaError(self.path, head.line, 'type "%s" is also imported' % head.text)
        module.types[head.text] = typedef

    def type(self, top=False):
        token = self.next()
        word = token.text
        if word in ('NULL', 'BOOLEAN'):
            return Builtin(word)
        if word == 'OBJECT':
            self.expect('IDENTIFIER')
            return Builtin('OBJECT IDENTIFIER')
        if word == 'OCTET':
            self.expect('STRING')
            return Builtin('OCTET STRING')
        if word == 'INTEGER':
            if self.accept('('):
                lower, upper = self.range()
                if lower < -2**31 or upper < 0 or upper >= 2**32:
                    raise SchemaError(self.path, token.line, 'range %d..%d is not a 32-bit '
                                      'range with a non-negative upper bound' % (lower, upper))
                self.expect(')')
                return Integer(lower, upper)
            return Integer()
        if word == 'IA5String':
            if self.accept('('):
                self.expect('SIZE')
                self.expect('(')
                lower, upper = self.range()
                if lower < 0:
                    raise SchemaError(self.path, token.line, 'negative size')
                self.expect(')')
                self.expect(')')
                return IA5String(lower, upper)
            return IA5String()
        if word in ('SEQUENCE', 'SET') and self.accept('OF'):
            return SequenceOf(self.type(), word == 'SET')
        if word in STRUCTURED:
            if not top:
                raise SchemaError(self.path, token.line,
                                  'a %s inside a type must be a named type' % word)
            self.expect('{')
            if word == 'ENUMERATED':
                return self.enumerated()
            roots, extensible, additions = self.components(word == 'SEQUENCE')
            return (Sequence if word == 'SEQUENCE' else Choice)(roots, extensible, additions)
        if token.kind == 'name' and word[0].isupper():
            if self.accept('.'):
                name = self.name('a type name')
                return Reference(word, name.text, token.line)
            return Reference(None, word, token.line)
        raise SchemaError(self.path, token.line, 'expected a type, found "%s"'
                          % (word or 'end of file'))

    def range(self):
        lower = self.number()
        self.expect('..')
        upper = self.number()
        if lower > upper:
            raise self.error('empty range %d..%d' % (lower, upper))
        return lower, upper

    def components(self, allow_optional):
        roots, additions, extensible = [], [], False
        names = {}
        while True:
            marker = self.accept('...')
            if marker:
                if extensible:
                    raise self.error('second extension marker', marker)
                extensible = True
            else:
                token = self.name('a component name')
                if not token.text[0].islower():
                    raise SchemaError(self.path, token.line,
                                      'component name "%s" must start with a lower-case letter'
                                      % token.text)
                if token.text in names:
                    raise SchemaError(self.path, token.line,
                                      'duplicate component "%s" (first at line %d)'
                                      % (token.text, names[token.text]))
                names[token.text] = token.line
                type_ = self.type()
                optional = False
                if self.peek().text == 'OPTIONAL':
                    if not allow_optional:
                        raise self.error('OPTIONAL in a CHOICE')
                    self.next()
                    optional = True
                (additions if extensible else roots).append(
                    Component(token.text, type_, optional, token.line))
            if self.accept('}'):
                return roots, extensible, additions
            self.expect(',')

    def enumerated(self):
        items, extensible, names, previous = [], False, {}, -1
        while True:
            marker = self.accept('...')
            if marker:
                if extensible:
                    raise self.error('second extension marker', marker)
                extensible = True
            else:
                if extensible:
                    raise self.error('enumerators after the extension marker are not supported')
                token = self.name('an enumerator')
                if token.text in names:
                    raise SchemaError(self.path, token.line,
                                      'duplicate enumerator "%s" (first at line %d)'
                                      % (token.text, names[token.text]))
                names[token.text] = token.line
                explicit = False
                number = previous + 1
                if self.accept('('):
                    number = self.number()
                    self.expect(')')
                    explicit = number != previous + 1
                if not -2**31 <= number < 2**31:
                    raise SchemaError(self.path, token.line, 'number %d out of range' % number)
                items.append(Enumerator(token.text, number, explicit, token.line))
                previous = number
            if self.accept('}'):
                if not items:
                    raise self.error('ENUMERATED without enumerators')
                return Enumerated(items, extensible)
            self.expect(',')


def parse(path, text=None):
    if text is None:
        with open(path, encoding='utf-8') as f:
            text = f.read()
    return Parser(path, text).module()


# ---------------------------------------------------------------------------------------------
# Checker

def check(modules):
    """Resolves every reference and decides which types get tables. Raises SchemaError at the
    first fault."""
    by_name = {}
    for module in modules:
        if module.name in by_name:
            raise SchemaError(module.path, module.line, 'duplicate module "%s" (also in %s)'
                              % (module.name, by_name[module.name].path))
        by_name[module.name] = module

    for module in modules:
        for symbol, (source, line) in module.imports.items():
            if source not in by_name:
                raise SchemaError(module.path, line, 'unknown module "%s"' % source)
            if source == module.name:
                raise SchemaError(module.path, line, 'module "%s" imports itself' % source)
            if symbol not in by_name[source].types:
                raise SchemaError(module.path, line, 'module %s has no type "%s"'
                                  % (source, symbol))

    for module in modules:
        for typedef in module.types.values():
            if typedef.type is None:
                continue
            if typedef.kind not in STRUCTURED:
                raise SchemaError(module.path, typedef.line,
                                  'type "%s": only SEQUENCE, CHOICE and ENUMERATED types may be '
                                  'named' % typedef.name)
            check_identifiers(module, typedef)
            for ref in typedef.type.references():
                ref.target = resolve(module, by_name, ref)

    # A type gets tables when it is specified and everything it reaches does; iterate to the
    # fixed point so that chains through several modules settle.
    all_types = [t for m in modules for t in m.types.values()]
    for typedef in all_types:
        typedef.generated = typedef.type is not None
    changed = True
    while changed:
        changed = False
        for typedef in all_types:
            if typedef.generated and not all(r.target.generated
                                             for r in typedef.type.references()):
                typedef.generated = False
                changed = True
    return by_name


def check_identifiers(module, typedef):
    """Names that differ only by "-" against "_" would give one C++ identifier."""
    t = typedef.type
    items = t.items if isinstance(t, Enumerated) else (
        t.fields if isinstance(t, Sequence) else t.alternatives)
    seen = {}
    for item in items:
        key = item.name.replace('-', '_')
        if key in seen:
            raise SchemaError(module.path, item.line, '"%s" and "%s" (line %d) give the same '
                              'identifier' % (item.name, seen[key].name, seen[key].line))
        seen[key] = item


def resolve(module, by_name, ref):
    if ref.module is not None:
        source = by_name.get(ref.module)
        if source is None:
            raise SchemaError(module.path, ref.line, 'unknown module "%s"' % ref.module)
        if ref.name not in source.types:
            raise SchemaError(module.path, ref.line, 'unknown type "%s.%s"'
                              % (ref.module, ref.name))
        return source.types[ref.name]
    if ref.name in module.types:
        return module.types[ref.name]
    if ref.name in module.imports:
        return by_name[module.imports[ref.name][0]].types[ref.name]
    raise SchemaError(module.path, ref.line, 'unknown type "%s"' % ref.name)


def load(paths):
    modules = [parse(p) for p in paths]
    check(modules)
    return modules
