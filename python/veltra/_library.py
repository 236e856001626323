"""Finding and loading the Veltra shared library, and the C signatures of the functions used.

The library is looked for, in this order:

1. the file named by the environment variable ``VELTRA_LIBRARY`` (nothing else is tried then);
2. next to this package (where ``pip install ./python --config-settings library=PATH`` puts it);
3. on the system's library path (``LD_LIBRARY_PATH`` and the linker cache on Linux, ``PATH`` on
   Windows).

On 32-bit Windows every function is ``__stdcall``, so the DLL is loaded as a ``WinDLL``; elsewhere
as a ``CDLL``.
"""

from __future__ import annotations

import ctypes
import ctypes.util
import os
import sys
import threading
from ctypes import POINTER, c_double, c_int32, c_uint8, c_uint16, c_uint32, c_void_p
from typing import Dict, List, Mapping, Optional, Sequence, Tuple

from .errors import LibraryNotFoundError

ENVIRONMENT_VARIABLE = "VELTRA_LIBRARY"

if sys.platform == "win32":
    LIBRARY_FILE = "veltra.dll"
    _Library = ctypes.WinDLL
elif sys.platform == "darwin":
    LIBRARY_FILE = "libveltra.dylib"
    _Library = ctypes.CDLL
else:
    LIBRARY_FILE = "libveltra.so"
    _Library = ctypes.CDLL

PACKAGE_DIRECTORY = os.path.dirname(os.path.abspath(__file__))

_Status = c_uint16

# Result type and argument types of every function the package calls, as in veltra.h.
_SIGNATURES: Dict[str, Tuple[object, Sequence[object]]] = {
    # Instrument and information.
    "InitInstrument": (_Status, [c_uint32]),
    "ExitInstrument": (_Status, []),
    "GetCalibrationDate": (_Status, [POINTER(c_uint32)]),
    "GetSerialNumber": (_Status, [POINTER(c_uint32)]),
    "GetNrChannels": (_Status, [POINTER(c_uint16)]),
    "GetMaxSampleFrequencyF": (c_double, []),
    "GetMaxRecordLength": (c_uint32, []),
    # Acquisition settings.
    "GetResolution": (_Status, [POINTER(c_uint8)]),
    "SetResolution": (_Status, [c_uint8]),
    "GetAvailableResolutions": (_Status, [POINTER(c_double)]),
    "GetChEnabled": (_Status, [c_uint16, POINTER(c_uint8)]),
    "SetChEnabled": (_Status, [c_uint16, c_uint8]),
    "GetRecordLength": (c_uint32, []),
    "SetRecordLength": (_Status, [c_uint32]),
    "GetPostSamples": (c_uint32, []),
    "SetPostSamples": (_Status, [c_uint32]),
    "GetSampleFrequencyF": (c_double, []),
    "SetSampleFrequencyF": (_Status, [POINTER(c_double)]),
    # Channel inputs.
    "GetSensitivity": (_Status, [c_uint8, POINTER(c_double)]),
    "SetSensitivity": (_Status, [c_uint8, POINTER(c_double)]),
    "GetCoupling": (_Status, [c_uint8, POINTER(c_uint8)]),
    "SetCoupling": (_Status, [c_uint8, c_uint8]),
    "GetAvailableSensitivities": (_Status, [POINTER(c_double)]),
    # Trigger.
    "GetTriggerSource": (_Status, [POINTER(c_uint8)]),
    "SetTriggerSource": (_Status, [c_uint8]),
    "GetTriggerModeCh": (_Status, [c_uint8, POINTER(c_uint8)]),
    "SetTriggerModeCh": (_Status, [c_uint8, c_uint8]),
    "GetTriggerLevel": (_Status, [c_uint8, POINTER(c_double)]),
    "SetTriggerLevel": (_Status, [c_uint8, c_double]),
    "GetTriggerHys": (_Status, [c_uint8, POINTER(c_double)]),
    "SetTriggerHys": (_Status, [c_uint8, c_double]),
    "GetTriggerTimeOut": (c_int32, []),
    "SetTriggerTimeOut": (_Status, [c_int32]),
    # Measurement. Sample buffers are passed as addresses (numpy's array.ctypes.data).
    "GetMeasurementCh": (_Status, [c_uint16, c_void_p]),
    "GetMeasurementRawCh": (_Status, [c_uint16, c_void_p]),
    "ADC_Start": (_Status, []),
    "ADC_Running": (c_uint16, []),
    "ADC_Ready": (c_uint16, []),
    "ADC_Abort": (_Status, []),
}

SIMULATE_VARIABLE = "VELTRA_SIMULATE"

_loaded: Optional[ctypes.CDLL] = None
_simulation_at_load: Optional[str] = None  # VELTRA_SIMULATE as the library saw it when it loaded
_load_lock = threading.Lock()


def _declare(library: ctypes.CDLL) -> ctypes.CDLL:
    for name, (result, arguments) in _SIGNATURES.items():
        function = getattr(library, name)
        function.restype = result
        function.argtypes = list(arguments)
    return library


def _bitness_hint() -> str:
    if sys.platform == "win32" and sys.maxsize > 2**32:
        return (" veltra.dll is a 32-bit DLL: it loads only into a 32-bit Python, and this one is"
                " 64-bit.")
    return ""


def _from_system() -> ctypes.CDLL:
    """Loads the library by name through the system's search; raises OSError when it fails."""
    try:
        return _Library(LIBRARY_FILE)
    except OSError:
        # Windows: a plain name is not looked for on PATH, which find_library searches.
        found = ctypes.util.find_library("veltra")
        if not found:
            raise
        return _Library(found)


def find_and_load(environment: Mapping[str, str] = os.environ,
                  package_directory: str = PACKAGE_DIRECTORY) -> ctypes.CDLL:
    """Finds the library, loads it and declares the signatures of the functions used.

    Args:
        environment: where ``VELTRA_LIBRARY`` is read.
        package_directory: the folder looked in before the system's library path.

    Raises:
        LibraryNotFoundError: no library could be loaded; the message says where it looked.
    """
    explicit = environment.get(ENVIRONMENT_VARIABLE)
    if explicit:
        try:
            return _declare(_Library(os.path.abspath(explicit)))
        except OSError as error:
            raise LibraryNotFoundError(
                f"cannot load the Veltra library named by {ENVIRONMENT_VARIABLE}={explicit}:"
                f" {error}.{_bitness_hint()}") from None

    tried: List[str] = []
    beside = os.path.join(package_directory, LIBRARY_FILE)
    if os.path.exists(beside):
        try:
            return _declare(_Library(beside))
        except OSError as error:
            tried.append(f"{beside} ({error})")
    else:
        tried.append(f"{beside} (not there)")
    try:
        return _declare(_from_system())
    except OSError as error:
        tried.append(f"the system's library path ({error})")
    raise LibraryNotFoundError(
        f"cannot find the Veltra library {LIBRARY_FILE}; looked at " + "; ".join(tried) +
        f". Set {ENVIRONMENT_VARIABLE} to the library's path, add its folder to the system's"
        " library path, or install the package with the library beside it"
        " (pip install ./python --config-settings library=ABSOLUTE-PATH)." + _bitness_hint())


def library() -> ctypes.CDLL:
    """The library of this process, found and loaded on first use (see :func:`find_and_load`)."""
    global _loaded, _simulation_at_load
    with _load_lock:
        if _loaded is None:
            _simulation_at_load = os.environ.get(SIMULATE_VARIABLE)
            _loaded = find_and_load()
        return _loaded


def use_simulation(description: str) -> None:
    """Asks for the simulated probes ``description`` describes (as ``VELTRA_SIMULATE``).

    The library plugs them in when it loads, so this works only before the first load, or when it
    asks for what the library already has.

    Raises:
        ValueError: the library is loaded already, with other simulated probes.
    """
    with _load_lock:
        if _loaded is None:
            os.environ[SIMULATE_VARIABLE] = description
        elif description != _simulation_at_load:
            raise ValueError(
                f"the library was loaded with {SIMULATE_VARIABLE}={_simulation_at_load!r}; the"
                f" simulated probes {description!r} can be had only in a new process, since the"
                " library plugs them in when it loads")


def is_loaded() -> bool:
    """Whether this process has loaded the library already."""
    return _loaded is not None


def library_path() -> str:
    """The path of the library this process loaded (loading it first if needed)."""
    return str(library()._name)
