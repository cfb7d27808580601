"""Runs every tests/e2e/test_*.py and ends with one line: e2e: N passed, M failed."""
import os
import sys
import unittest

here = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, here)
suite = unittest.defaultTestLoader.discover(here, pattern="test_*.py", top_level_dir=here)
if len(sys.argv) > 1:  # names of tests to run, e.g. test_mail.SendingTest
    suite = unittest.defaultTestLoader.loadTestsFromNames(sys.argv[1:])
outcome = unittest.TextTestRunner(verbosity=2).run(suite)
failed = len(outcome.failures) + len(outcome.errors)
print(f"e2e: {outcome.testsRun - failed} passed, {failed} failed")
sys.exit(0 if failed == 0 and outcome.testsRun > 0 else 1)
