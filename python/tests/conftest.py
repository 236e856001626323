"""Shared set-up: the simulated probe this test process measures, and a runner for snippets that
need a process of their own (the library reads its environment once, when it loads)."""

import os
import subprocess
import sys
from typing import Dict, Optional

import pytest

# One one-channel probe with a 1 kHz sine of 0.5 V peak, records as fast as the host can make them.
SIMULATION = "probe:serial=27001,ch1=sine:1k:0.5,timing=instant"
os.environ["VELTRA_SIMULATE"] = SIMULATION

import veltra  # noqa: E402 (after VELTRA_SIMULATE, which the library reads when it loads)


def run_python(code: str, environment: Optional[Dict[str, Optional[str]]] = None,
               timeout: float = 60) -> subprocess.CompletedProcess:
    """Runs ``code`` in a new Python with this environment, changed by ``environment`` (a value
    of None removes the variable); returns the finished process with its output as text."""
    env = dict(os.environ)
    for name, value in (environment or {}).items():
        if value is None:
            env.pop(name, None)
        else:
            env[name] = value
    return subprocess.run([sys.executable, "-c", code], env=env, capture_output=True, text=True,
                          timeout=timeout)


@pytest.fixture
def probe():
    """The simulated probe, opened for one test and closed after it."""
    with veltra.open() as opened:
        yield opened
