"""Prints the id of every end-to-end case (module.Class.test), one a line,
for ctest to register each as a test of its own."""
import os
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)


def case_ids(suite):
    for item in suite:
        if isinstance(item, unittest.TestSuite):
            yield from case_ids(item)
        else:
            yield item.id()


suite = unittest.defaultTestLoader.discover(HERE, pattern="test_*.py", top_level_dir=HERE)
for case in sorted(case_ids(suite)):
    if "FailedTest" in case or "_FailedTest" in case:
        raise SystemExit(f"a case module does not import: {case}")
    print(case)
