"""End-to-end tests: the built binary in stand-in CrossPoint installations,
against the forum simulator."""

import os
import sys

_TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
if _TESTS not in sys.path:
    sys.path.insert(0, _TESTS)
