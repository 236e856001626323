"""Shared set-up: the simulated probe this test process measures, and a runner for snippets that
need a process of their own (the library reads its environment once, when it loads)."""

import os
import subprocess
import sys
from typing import Any, Callable, Dict, List, Optional

import pytest

# One one-channel probe with a 1 kHz sine of 0.5 V peak, records as fast as the host can make them.
SIMULATION = "probe:serial=27001,ch1=sine:1k:0.5,timing=instant"
os.environ["VELTRA_SIMULATE"] = SIMULATION

import veltra  # noqa: E402 (after VELTRA_SIMULATE, which the library reads when it loads)
from veltra.probe import Probe  # noqa: E402


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


class RecordingLibrary:
    """Stands in for the library where the package's own logic is under test: records the
    functions called and answers each with ``answers[name]`` (a value, or a function of the
    arguments), 0 (OK) where none is given. The instrument has ``channels`` channels."""

    def __init__(self, channels: int = 1, **answers: Any) -> None:
        self.calls: List[str] = []
        self.answers: Dict[str, Any] = {"GetNrChannels": self._channel_count, **answers}
        self._channels = channels

    def _channel_count(self, count: Any) -> int:
        count._obj.value = self._channels  # the c_uint16 behind ctypes.byref
        return 0

    def __getattr__(self, name: str) -> Callable[..., Any]:
        def function(*arguments: Any) -> Any:
            self.calls.append(name)
            answer = self.answers.get(name, 0)
            return answer(*arguments) if callable(answer) else answer
        return function


@pytest.fixture
def recorded():
    """A probe over a :class:`RecordingLibrary`, and that library."""
    library = RecordingLibrary()
    return Probe(library), library


@pytest.fixture
def probe():
    """The simulated probe, opened for one test and closed after it."""
    with veltra.open() as opened:
        yield opened
