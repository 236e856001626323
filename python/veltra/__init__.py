"""The Veltra oscilloscope probe from Python.

>>> import veltra
>>> with veltra.open(simulate="probe:ch1=sine:1k:0.5") as probe:
...     probe.sample_frequency = 1e6
...     volts, time = probe.measure()

The package calls the Veltra shared library (``libveltra.so``, or ``veltra.dll`` on Windows)
through ctypes; see :mod:`veltra._library` for where it looks for it.
"""

from ._library import library_path
from .errors import (I2CError, I2CHostError, I2CInvalidAddressError, I2CInvalidArgumentError,
                     InvalidChannelError, InvalidValueError, LibraryNotFoundError,
                     NoGeneratorError, NoInstrumentError, NotInitializedError, NotSupportedError,
                     VeltraError)
from .probe import (Channel, Coupling, Measurement, Probe, RawMeasurement, TriggerMode,
                    TriggerSource, open)

__version__ = "0.1.0"  # the one place the version is kept (the wheel builder reads it)

__all__ = [
    "open", "Probe", "Channel", "Measurement", "RawMeasurement", "Coupling", "TriggerMode",
    "TriggerSource", "library_path", "VeltraError", "NoInstrumentError", "NotInitializedError",
    "NotSupportedError", "NoGeneratorError", "InvalidChannelError", "InvalidValueError",
    "I2CError", "I2CInvalidAddressError", "I2CInvalidArgumentError", "I2CHostError",
    "LibraryNotFoundError",
]
