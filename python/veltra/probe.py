"""The probe: information, settings and measurements as numpy arrays."""

from __future__ import annotations

import ctypes
import datetime
import enum
import threading
import time
import weakref
from ctypes import c_double, c_int32, c_uint8, c_uint16, c_uint32
from typing import Any, Iterator, NamedTuple, Optional, Tuple, Union

import numpy as np

from . import _library
from .errors import InvalidValueError, NoInstrumentError, check

__all__ = ["open", "Probe", "Channel", "Measurement", "RawMeasurement", "Coupling",
           "TriggerMode", "TriggerSource"]

_LIST_LENGTH = 20  # entries of GetAvailableResolutions and GetAvailableSensitivities
_TIMEOUT_FOREVER = -1  # trigger time-out in ms that waits for ever

# While a measurement runs, the wait first polls without pausing (short records are ready within
# milliseconds), then pauses between polls, each pause longer than the one before, up to a limit
# that keeps the delay after the measurement small against its own duration.
_SPIN_SECONDS = 0.005
_FIRST_PAUSE = 50e-6
_LONGEST_PAUSE = 0.01


class Coupling(enum.IntEnum):
    """Coupling codes of a channel input."""

    DC = 1
    AC = 2


class TriggerMode(enum.IntEnum):
    """What makes a channel trigger, relative to its level and hysteresis."""

    RISING = 0  #: the signal rises to the level after being below level - hysteresis
    FALLING = 1  #: the signal falls to the level after being above level + hysteresis
    ENTER_WINDOW = 2  #: the signal enters the window level +- hysteresis
    LEAVE_WINDOW = 3  #: the signal leaves that window


class TriggerSource(enum.IntEnum):
    """Trigger source numbers. Other numbers (4, 5, 11-14) stand for the instrument's other
    trigger inputs; the properties take and give them as plain integers."""

    CH1 = 0
    CH2 = 1
    CH3 = 2
    CH4 = 3
    CH1_AND_CH2 = 6  #: channels 1 and 2 together
    CH1_OR_CH2 = 7
    NONE = 9


class Measurement(NamedTuple):
    """One measurement in volts.

    ``volts[c]`` is channel ``c + 1``'s record (zeros for a disabled channel); ``time`` holds the
    moment of each sample in seconds, 0 at the trigger point. ``time`` is shared between
    measurements with the same settings and is read-only.
    """

    volts: np.ndarray  # float64, channels x samples
    time: np.ndarray  # float64, samples


class RawMeasurement(NamedTuple):
    """One measurement as the instrument's codes (0-65535, 32768 the middle of the range)."""

    codes: np.ndarray  # uint16, channels x samples
    time: np.ndarray  # float64, samples


_INTEGER_RANGE = {
    c_uint8: (0, 0xFF),
    c_uint16: (0, 0xFFFF),
    c_uint32: (0, 0xFFFFFFFF),
    c_int32: (-0x80000000, 0x7FFFFFFF),
}


def _integer(value: int, ctype: Any, function: str) -> int:
    """``value`` as an integer argument of type ``ctype``; ctypes would silently cut off the bits
    that do not fit, so a value outside the type's range is refused here."""
    number = value.__index__()
    low, high = _INTEGER_RANGE[ctype]
    if not low <= number <= high:
        raise InvalidValueError(function, value)
    return number


def _enum_or_int(kind: Any, number: int) -> Any:
    try:
        return kind(number)
    except ValueError:
        return number


_open_probe: "Optional[weakref.ReferenceType[Probe]]" = None
_open_lock = threading.Lock()


def open(simulate: Union[str, bool, None] = None) -> "Probe":  # noqa: A001 (as builtins.open)
    """Opens the probe.

    Args:
        simulate: simulated probes to plug in instead of hardware, as ``VELTRA_SIMULATE`` takes
            them (``True`` for one probe at its defaults, or a text such as
            ``"probe:ch1=sine:1k:0.5,timing=instant"``). The library plugs them in when it
            loads, so within one process every call must ask for the same ones. ``None`` leaves
            ``VELTRA_SIMULATE`` as the environment has it.

    Returns:
        The open probe; use it in a ``with`` block, or call :meth:`Probe.close`.

    Raises:
        NoInstrumentError: no probe could be opened.
        LibraryNotFoundError: the library could not be loaded.
        RuntimeError: this process has a probe open already (the library drives one at a time).
    """
    global _open_probe
    if simulate is not None:
        _library.use_simulation("1" if simulate is True else str(simulate))
    library = _library.library()
    with _open_lock:
        earlier = _open_probe() if _open_probe is not None else None
        if earlier is not None and not earlier.closed:
            raise RuntimeError("a probe is open already; close it before opening it again")
        status = library.InitInstrument(0)
        if status == NoInstrumentError.status:
            raise NoInstrumentError("InitInstrument", detail=(
                ": no probe found (for simulated probes pass simulate= or set VELTRA_SIMULATE)"))
        check(status, "InitInstrument")
        try:
            probe = Probe(library)
        except BaseException:
            library.ExitInstrument()
            raise
        _open_probe = weakref.ref(probe)
    return probe


class Probe:
    """The open probe (made by :func:`veltra.open`).

    Settings are properties: assigning one sends it to the probe, reading one reads back what the
    probe took (which may be a rounded or clamped value). Use the probe from the thread that
    opened it; the library delivers its measurements to that thread.
    """

    def __init__(self, library: ctypes.CDLL) -> None:
        self._lib: Optional[ctypes.CDLL] = library
        self._thread = threading.get_ident()
        count = c_uint16()
        try:
            self._call("GetNrChannels", ctypes.byref(count))
        except BaseException:
            self._lib = None  # whoever opened the instrument closes it
            raise
        self._channels = tuple(Channel(self, number) for number in range(1, count.value + 1))
        self._time_key: Tuple[int, int, float] = (-1, -1, 0.0)
        self._time_axis = np.empty(0)

    # Opening and closing.

    def close(self) -> None:
        """Closes the probe (``ExitInstrument``). Closing a closed probe does nothing."""
        if self._lib is not None:
            library, self._lib = self._lib, None
            library.ExitInstrument()

    @property
    def closed(self) -> bool:
        """Whether :meth:`close` has run."""
        return self._lib is None

    def __enter__(self) -> "Probe":
        return self

    def __exit__(self, *exception: Any) -> None:
        self.close()

    def __del__(self) -> None:
        if getattr(self, "_lib", None) is not None and threading.get_ident() == self._thread:
            self.close()

    def __repr__(self) -> str:
        if self.closed:
            return "<veltra.Probe closed>"
        return f"<veltra.Probe serial {self.serial_number}, {len(self._channels)} channel(s)>"

    # Calls into the library.

    def _library(self, function: str) -> ctypes.CDLL:
        if self._lib is None:
            raise NoInstrumentError(function)
        if threading.get_ident() != self._thread:
            raise RuntimeError(f"{function}: use the probe from the thread that opened it")
        return self._lib

    def _call(self, function: str, *arguments: Any, value: Any = None,
              channel: Optional[int] = None) -> None:
        status = getattr(self._library(function), function)(*arguments)
        check(status, function, value, channel)

    def _read(self, function: str, ctype: Any, *arguments: Any,
              channel: Optional[int] = None) -> Any:
        result = ctype()
        self._call(function, *arguments, ctypes.byref(result), channel=channel)
        return result.value

    def _plain(self, function: str) -> Any:
        """Calls a function that returns a value, not a status."""
        return getattr(self._library(function), function)()

    def _list(self, function: str) -> Tuple[float, ...]:
        entries = (c_double * _LIST_LENGTH)()
        self._call(function, entries)
        return tuple(entry for entry in entries if entry != 0.0)

    # Information.

    @property
    def serial_number(self) -> int:
        """The probe's serial number."""
        return int(self._read("GetSerialNumber", c_uint32))

    @property
    def calibration_date(self) -> datetime.date:
        """The day of the probe's last calibration (NotSupportedError when none is known)."""
        packed = self._read("GetCalibrationDate", c_uint32)
        return datetime.date(packed & 0xFFFF, (packed >> 16) & 0xFF, packed >> 24)

    @property
    def channels(self) -> Tuple["Channel", ...]:
        """The probe's channels; ``channels[0]`` is channel 1."""
        self._library("GetNrChannels")
        return self._channels

    @property
    def max_sample_frequency(self) -> float:
        """The highest sample frequency in Hz."""
        return float(self._plain("GetMaxSampleFrequencyF"))

    @property
    def max_record_length(self) -> int:
        """The longest record in samples."""
        return int(self._plain("GetMaxRecordLength"))

    @property
    def available_resolutions(self) -> Tuple[int, ...]:
        """The resolutions the probe offers, in bits."""
        return tuple(int(bits) for bits in self._list("GetAvailableResolutions"))

    @property
    def available_ranges(self) -> Tuple[float, ...]:
        """The input ranges of the channels in volts full scale, largest first."""
        return self._list("GetAvailableSensitivities")

    # Acquisition settings.

    @property
    def sample_frequency(self) -> float:
        """The sample frequency in Hz; the probe picks the nearest one it offers."""
        return float(self._plain("GetSampleFrequencyF"))

    @sample_frequency.setter
    def sample_frequency(self, hertz: float) -> None:
        request = c_double(hertz)
        self._call("SetSampleFrequencyF", ctypes.byref(request), value=hertz)

    @property
    def record_length(self) -> int:
        """The number of samples per channel in a record (at most :attr:`max_record_length`)."""
        return int(self._plain("GetRecordLength"))

    @record_length.setter
    def record_length(self, samples: int) -> None:
        self._call("SetRecordLength", _integer(samples, c_uint32, "SetRecordLength"), value=samples)

    @property
    def post_samples(self) -> int:
        """The number of samples after the trigger point (at most the record length)."""
        return int(self._plain("GetPostSamples"))

    @post_samples.setter
    def post_samples(self, samples: int) -> None:
        self._call("SetPostSamples", _integer(samples, c_uint32, "SetPostSamples"), value=samples)

    @property
    def resolution(self) -> int:
        """The resolution in bits. Asking for one the probe does not offer raises
        InvalidValueError, and the probe keeps the nearest it offers."""
        return int(self._read("GetResolution", c_uint8))

    @resolution.setter
    def resolution(self, bits: int) -> None:
        self._call("SetResolution", _integer(bits, c_uint8, "SetResolution"), value=bits)

    # Trigger.

    @property
    def trigger_source(self) -> Union[TriggerSource, int]:
        """The trigger source number (a :class:`TriggerSource` where it has a name)."""
        return _enum_or_int(TriggerSource, self._read("GetTriggerSource", c_uint8))

    @trigger_source.setter
    def trigger_source(self, source: Union[TriggerSource, int]) -> None:
        self._call("SetTriggerSource", _integer(source, c_uint8, "SetTriggerSource"),
                   value=source)

    @property
    def trigger_timeout(self) -> Optional[float]:
        """Seconds a measurement waits for its trigger before it takes the record untriggered;
        ``None`` waits for ever (as the probe is opened). Kept in whole milliseconds."""
        milliseconds = self._plain("GetTriggerTimeOut")
        return None if milliseconds == _TIMEOUT_FOREVER else milliseconds / 1000

    @trigger_timeout.setter
    def trigger_timeout(self, seconds: Optional[float]) -> None:
        if seconds is None:
            milliseconds = _TIMEOUT_FOREVER
        else:
            milliseconds = round(seconds * 1000)
            if not 0 <= milliseconds <= _INTEGER_RANGE[c_int32][1]:
                raise InvalidValueError("SetTriggerTimeOut", seconds)
        self._call("SetTriggerTimeOut", milliseconds, value=seconds)

    # Measurements.

    def measure(self, timeout: Optional[float] = None) -> Measurement:
        """Takes a measurement and returns it in volts.

        Blocks until the measurement is complete; Ctrl-C (KeyboardInterrupt) stops it.

        Args:
            timeout: seconds to wait for the measurement; ``None`` waits as long as it takes
                (see :attr:`trigger_timeout`).

        Raises:
            TimeoutError: the measurement was not complete within ``timeout`` (it is stopped).
            NoInstrumentError: the probe went away.
        """
        return Measurement(*self._take("GetMeasurementCh", np.float64, timeout))

    def measure_raw(self, timeout: Optional[float] = None) -> RawMeasurement:
        """Takes a measurement and returns it as the instrument's codes; as :meth:`measure`."""
        return RawMeasurement(*self._take("GetMeasurementRawCh", np.uint16, timeout))

    def measurements(self, count: Optional[int] = None, *, raw: bool = False,
                     timeout: Optional[float] = None
                     ) -> Iterator[Union[Measurement, RawMeasurement]]:
        """Takes measurements one after the other: ``count`` of them, or until the loop stops.

        Each is a new :class:`Measurement` (or :class:`RawMeasurement` with ``raw=True``), so the
        arrays of earlier ones stay valid. ``timeout`` is as for :meth:`measure`.
        """
        taken = 0
        while count is None or taken < count:
            yield self.measure_raw(timeout) if raw else self.measure(timeout)
            taken += 1

    def _take(self, reader: str, dtype: Any, timeout: Optional[float]
              ) -> Tuple[np.ndarray, np.ndarray]:
        """Runs one measurement; returns every channel's record, read by ``reader`` straight into
        the rows of one array, and the record's time axis."""
        time_axis = self._time_axis_of_next()
        library = self._library("ADC_Start")
        try:
            check(library.ADC_Start(), "ADC_Start")
            self._wait_until_ready(library, timeout)
        except BaseException:  # Ctrl-C, the time-out, a failed start: leave nothing running
            library.ADC_Abort()
            raise
        samples = np.empty((len(self._channels), time_axis.size), dtype=dtype)
        for number in range(1, len(self._channels) + 1):
            self._call(reader, number, samples[number - 1].ctypes.data, channel=number)
        return samples, time_axis

    @staticmethod
    def _wait_until_ready(library: ctypes.CDLL, timeout: Optional[float]) -> None:
        # ADC_Running processes the library's pending messages, through which the completed
        # measurement arrives; it answers 0 once the measurement is ready or the probe is gone.
        start = time.monotonic()
        pause = _FIRST_PAUSE
        while library.ADC_Running():
            waited = time.monotonic() - start
            if timeout is not None and waited >= timeout:
                raise TimeoutError(f"the measurement was not complete within {timeout} s")
            if waited >= _SPIN_SECONDS:
                time.sleep(pause)
                pause = min(pause * 1.5, _LONGEST_PAUSE)
        if not library.ADC_Ready():
            raise NoInstrumentError("ADC_Running")

    def _time_axis_of_next(self) -> np.ndarray:
        """The sample moments of the next record in seconds, 0 at the trigger point."""
        key = (self.record_length, self.post_samples, self.sample_frequency)
        if key != self._time_key:
            length, post, hertz = key
            time_axis = (np.arange(length) - (length - post)) / hertz if hertz > 0 \
                else np.zeros(length)
            time_axis.flags.writeable = False
            self._time_key, self._time_axis = key, time_axis
        return self._time_axis


class Channel:
    """One input channel of a :class:`Probe` (``probe.channels[0]`` is channel 1)."""

    def __init__(self, probe: Probe, number: int) -> None:
        self._probe = probe
        self.number = number

    def __repr__(self) -> str:
        return f"<veltra.Channel {self.number}>"

    @property
    def range(self) -> float:
        """The input range in volts full scale; the probe picks the smallest it offers that holds
        the request (see :attr:`Probe.available_ranges`)."""
        return float(self._probe._read("GetSensitivity", c_double, self.number,
                                       channel=self.number))

    @range.setter
    def range(self, volts: float) -> None:
        request = c_double(volts)
        self._probe._call("SetSensitivity", self.number, ctypes.byref(request), value=volts,
                          channel=self.number)

    @property
    def coupling(self) -> Union[Coupling, int]:
        """The coupling code (a :class:`Coupling` where it has a name)."""
        return _enum_or_int(Coupling, self._probe._read("GetCoupling", c_uint8, self.number,
                                                        channel=self.number))

    @coupling.setter
    def coupling(self, code: Union[Coupling, int]) -> None:
        self._probe._call("SetCoupling", self.number, _integer(code, c_uint8, "SetCoupling"),
                          value=code, channel=self.number)

    @property
    def enabled(self) -> bool:
        """Whether the channel takes part in measurements."""
        return bool(self._probe._read("GetChEnabled", c_uint8, self.number, channel=self.number))

    @enabled.setter
    def enabled(self, on: bool) -> None:
        self._probe._call("SetChEnabled", self.number, 1 if on else 0, value=on,
                          channel=self.number)

    @property
    def trigger_mode(self) -> Union[TriggerMode, int]:
        """What makes this channel trigger (a :class:`TriggerMode`)."""
        return _enum_or_int(TriggerMode, self._probe._read("GetTriggerModeCh", c_uint8,
                                                           self.number, channel=self.number))

    @trigger_mode.setter
    def trigger_mode(self, mode: Union[TriggerMode, int]) -> None:
        self._probe._call("SetTriggerModeCh", self.number,
                          _integer(mode, c_uint8, "SetTriggerModeCh"), value=mode,
                          channel=self.number)

    @property
    def trigger_level(self) -> float:
        """The trigger level in volts (kept within the input range)."""
        return float(self._probe._read("GetTriggerLevel", c_double, self.number,
                                       channel=self.number))

    @trigger_level.setter
    def trigger_level(self, volts: float) -> None:
        self._probe._call("SetTriggerLevel", self.number, volts, value=volts,
                          channel=self.number)

    @property
    def trigger_hysteresis(self) -> float:
        """The trigger hysteresis in volts (kept within the input range)."""
        return float(self._probe._read("GetTriggerHys", c_double, self.number,
                                       channel=self.number))

    @trigger_hysteresis.setter
    def trigger_hysteresis(self, volts: float) -> None:
        self._probe._call("SetTriggerHys", self.number, volts, value=volts, channel=self.number)
