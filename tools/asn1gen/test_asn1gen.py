#!/usr/bin/env python3
"""Tests of the schema generator: faults in a schema are reported with file and line and stop
the generator; a good schema gives the same output on every run."""

import os
import subprocess
import sys
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

import schema  # noqa: E402

GOOD_A = '''\
A DEFINITIONS AUTOMATIC TAGS ::= BEGIN
IMPORTS Other FROM B;
Top ::= SEQUENCE {
  seq INTEGER OPTIONAL,
  slot INTEGER (0..1023) OPTIONAL,
  body Other,
  ...
}
END
'''
GOOD_B = '''\
B DEFINITIONS ::= BEGIN
Other ::= CHOICE { a NULL, b Kind, ..., c BOOLEAN }
Kind ::= ENUMERATED { x(-1), y, z(7), w(0), ... }
END
'''


class Faults(unittest.TestCase):
    # (name, {file: text}, file of the fault, line, words of the message)
    CASES = [
        ('unknown type', {'a.asn': 'A DEFINITIONS ::= BEGIN\nT ::= SEQUENCE {\n  f Missing\n}\nEND\n'},
         'a.asn', 3, 'unknown type "Missing"'),
        ('unknown qualified type', {'a.asn': GOOD_A.replace('body Other', 'body B.Nope'),
                                    'b.asn': GOOD_B}, 'a.asn', 6, 'unknown type "B.Nope"'),
        ('unknown module in reference', {'a.asn': 'A DEFINITIONS ::= BEGIN\nT ::= CHOICE { f C.X }\nEND\n'},
         'a.asn', 2, 'unknown module "C"'),
        ('unknown module in imports', {'a.asn': GOOD_A}, 'a.asn', 2, 'unknown module "B"'),
        ('import of a missing type', {'a.asn': GOOD_A.replace('Other FROM', 'Gone FROM'),
                                      'b.asn': GOOD_B}, 'a.asn', 2, 'module B has no type "Gone"'),
        ('duplicate type', {'a.asn': 'A DEFINITIONS ::= BEGIN\nT ::= CHOICE { a NULL }\n\n'
                                     'T ::= CHOICE { b NULL }\nEND\n'},
         'a.asn', 4, 'duplicate type "T" (first at line 2)'),
        ('duplicate field', {'a.asn': 'A DEFINITIONS ::= BEGIN\nT ::= SEQUENCE {\n  a NULL,\n'
                                      '  a BOOLEAN\n}\nEND\n'},
         'a.asn', 4, 'duplicate component "a" (first at line 3)'),
        ('duplicate alternative after the marker', {'a.asn': 'A DEFINITIONS ::= BEGIN\n'
                                                    'T ::= CHOICE {\n  a NULL,\n  ...,\n  a NULL\n}\nEND\n'},
         'a.asn', 5, 'duplicate component "a"'),
        ('duplicate enumerator', {'a.asn': 'A DEFINITIONS ::= BEGIN\nE ::= ENUMERATED {\n  x,\n'
                                           '  y(4),\n  x(5)\n}\nEND\n'},
         'a.asn', 5, 'duplicate enumerator "x"'),
        ('names that give one identifier', {'a.asn': 'A DEFINITIONS ::= BEGIN\nT ::= SEQUENCE {\n'
                                            '  a-b NULL,\n  a_b NULL\n}\nEND\n'},
         'a.asn', 4, 'give the same identifier'),
        ('duplicate module', {'a.asn': 'A DEFINITIONS ::= BEGIN\nEND\n',
                              'b.asn': 'A DEFINITIONS ::= BEGIN\nEND\n'},
         'b.asn', 1, 'duplicate module "A"'),
        ('empty range', {'a.asn': 'A DEFINITIONS ::= BEGIN\nT ::= SEQUENCE { a INTEGER (5..1) }\nEND\n'},
         'a.asn', 2, 'empty range 5..1'),
        ('range beyond 32 bits', {'a.asn': 'A DEFINITIONS ::= BEGIN\nT ::= SEQUENCE {\n'
                                  '  a INTEGER (0..4294967296)\n}\nEND\n'},
         'a.asn', 3, 'is not a 32-bit range'),
        ('OPTIONAL in a CHOICE', {'a.asn': 'A DEFINITIONS ::= BEGIN\nT ::= CHOICE { a NULL OPTIONAL }\nEND\n'},
         'a.asn', 2, 'OPTIONAL in a CHOICE'),
        ('nested structured type', {'a.asn': 'A DEFINITIONS ::= BEGIN\nT ::= SEQUENCE {\n'
                                    '  a SEQUENCE { b NULL }\n}\nEND\n'},
         'a.asn', 3, 'must be a named type'),
        ('unnamed kind', {'a.asn': 'A DEFINITIONS ::= BEGIN\nT ::= INTEGER\nEND\n'},
         'a.asn', 2, 'only SEQUENCE, CHOICE and ENUMERATED'),
        ('second extension marker', {'a.asn': 'A DEFINITIONS ::= BEGIN\nT ::= SEQUENCE {\n'
                                     '  a NULL, ..., b NULL,\n  ...\n}\nEND\n'},
         'a.asn', 4, 'second extension marker'),
        ('missing END', {'a.asn': 'A DEFINITIONS ::= BEGIN\nT ::= CHOICE { a NULL }\n'},
         'a.asn', 3, 'expected a type assignment'),
        ('bad character', {'a.asn': 'A DEFINITIONS ::= BEGIN\nT ::= CHOICE { a NULL }\n$\nEND\n'},
         'a.asn', 3, "unexpected character '$'"),
    ]

    def test_faults_are_located_and_stop_the_generator(self):
        for name, files, fault_file, line, words in self.CASES:
            with self.subTest(name), tempfile.TemporaryDirectory() as d:
                paths = write(d, files)
                out = os.path.join(d, 'out')
                result = run_generator(out, paths)
                self.assertEqual(result.returncode, 1, result.stderr)
                expected = '%s:%d: error: ' % (os.path.join(d, fault_file), line)
                self.assertIn(expected, result.stderr)
                self.assertIn(words, result.stderr)
                self.assertFalse(os.path.exists(out), 'output written despite the fault')


class Model(unittest.TestCase):
    def test_numbers_of_a_good_schema(self):
        with tempfile.TemporaryDirectory() as d:
            paths = write(d, {'a.asn': GOOD_A, 'b.asn': GOOD_B})
            a, b = schema.load(paths)
        top = a.types['Top'].type
        self.assertEqual(top.field_ids(), [0, 1, -1])
        self.assertEqual(top.optional_count, 2)
        self.assertTrue(top.extensible)
        other = b.types['Other'].type
        self.assertEqual((len(other.roots), len(other.alternatives)), (2, 3))
        kind = b.types['Kind'].type
        self.assertEqual([e.number for e in kind.items], [-1, 0, 7, 0])
        self.assertEqual(kind.max_value, 7)
        self.assertEqual(kind.table_names(), ['x=-1', 'y', 'z=7', 'w=0'])

    def test_unspecified_types_have_no_tables_nor_what_reaches_them(self):
        text = ('A DEFINITIONS ::= BEGIN\nTop ::= CHOICE { a Mid }\nMid ::= SEQUENCE { b Leaf }\n'
                'Leaf ::= SEQUENCE UNSPECIFIED\nFree ::= CHOICE { c NULL }\nEND\n')
        module = schema.check([schema.parse('a.asn', text)])['A']
        self.assertEqual([t.name for t in module.types.values() if t.generated], ['Free'])

    def test_output_is_deterministic(self):
        with tempfile.TemporaryDirectory() as d:
            paths = write(d, {'a.asn': GOOD_A, 'b.asn': GOOD_B})
            outputs = []
            for run in ('one', 'two'):
                out = os.path.join(d, run)
                result = run_generator(out, paths, source_root=d)
                self.assertEqual(result.returncode, 0, result.stderr)
                outputs.append({n: read(os.path.join(out, n)) for n in sorted(os.listdir(out))})
            self.assertEqual(sorted(outputs[0]), ['a.cpp', 'a.h', 'b.cpp', 'b.h'])
            self.assertEqual(outputs[0], outputs[1])
            self.assertTrue(outputs[0]['a.h'].startswith(
                b'// Generated by tools/asn1gen from a.asn.'))


def write(directory, files):
    paths = []
    for name, text in sorted(files.items()):
        path = os.path.join(directory, name)
        with open(path, 'w') as f:
            f.write(text)
        paths.append(path)
    return paths


def read(path):
    with open(path, 'rb') as f:
        return f.read()


def run_generator(out, paths, source_root=None):
    command = [sys.executable, os.path.join(HERE, 'asn1gen.py'), '--out', out]
    if source_root:
        command += ['--source-root', source_root]
    return subprocess.run(command + paths, capture_output=True, text=True)


if __name__ == '__main__':
    unittest.main()
