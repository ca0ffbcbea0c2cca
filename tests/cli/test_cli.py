#!/usr/bin/env python3
"""tagzo-cli driven like a user would: on files the tests make, on the peers' files, and
cross-checked with other people's tools. Runs the native binary, or the Windows one under Wine
(--wine), whose console speaks code page 932. The tests are the test_*.py modules beside this
one, by command; their classes are gathered here, so that a test keeps its name (Set.test_...)."""
import argparse
import glob
import importlib
import os
import sys
import unittest

import cli_support

for path in sorted(glob.glob(os.path.join(os.path.dirname(os.path.abspath(__file__)), "test_*.py"))):
    if os.path.basename(path) == "test_cli.py":
        continue
    module = vars(importlib.import_module(os.path.basename(path)[:-3]))
    globals().update({k: v for k, v in module.items() if isinstance(v, type) and issubclass(v, unittest.TestCase)})

if __name__ == "__main__":
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--wine")
    ap.add_argument("--testdata", default="")
    cli_support.ARGS, rest = ap.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)
