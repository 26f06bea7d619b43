#!/usr/bin/env python3
"""Schema generator: reads the protocol modules (*.asn) and writes, per module, a C++ header and
source with the type-information records and the typed classes of the ASN.1 runtime.

    asn1gen.py --out DIR [--source-root ROOT] SCHEMA.asn...

A fault in a schema (syntax, unknown reference, duplicate name) is reported as FILE:LINE and the
exit status is 1; nothing is written then.
"""

import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import emit    # noqa: E402
import schema  # noqa: E402


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split('\n')[0])
    parser.add_argument('--out', required=True, help='output folder')
    parser.add_argument('--source-root', default=None,
                        help='folder that the banner names the schemas relative to')
    parser.add_argument('schemas', nargs='+')
    args = parser.parse_args(argv)
    try:
        modules = schema.load(args.schemas)
    except schema.SchemaError as e:
        print(e, file=sys.stderr)
        return 1
    except OSError as e:
        print('asn1gen: %s' % e, file=sys.stderr)
        return 1
    os.makedirs(args.out, exist_ok=True)
    for module in modules:
        source_name = module.path
        if args.source_root:
            source_name = os.path.relpath(module.path, args.source_root)
        header, source = emit.emit(module, source_name)
        base = os.path.join(args.out, module.name.lower())
        for path, text in ((base + '.h', header), (base + '.cpp', source)):
            with open(path, 'w', encoding='utf-8') as f:
                f.write(text)
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1:]))
