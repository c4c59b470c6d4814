"""The ok/FAILED lines of the Python tests and their closing count."""
import sys

passed = 0
failures = []


def check(cond, what):
    global passed
    print(("ok      " if cond else "FAILED  ") + what, flush=True)
    if cond:
        passed += 1
    else:
        failures.append(what)


def summary():
    """Prints the count; returns the exit code."""
    print("%d passed, %d failed" % (passed, len(failures)))
    return 1 if failures else 0
