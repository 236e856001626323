"""How a measurement is waited for and read, against a stand-in library: the records land in the
rows of one array, the time axis counts from the trigger point, and a wait cut short by Ctrl-C or
the time-out, or ended by the probe going away, leaves no measurement running."""

import _thread
import ctypes
import threading

import numpy as np
import pytest
from conftest import RecordingLibrary

import veltra
from veltra.probe import Probe

LENGTH, POST, HERTZ = 1000, 900, 1e6


def fill(ctype):
    """A stand-in reader that fills channel n's record with the value n."""
    def reader(channel, address):
        (ctype * LENGTH).from_address(address)[:] = [channel] * LENGTH
        return 0
    return reader


def stand_in(running=(1, 1, 0), ready=1, channels=2):
    """A two-channel instrument whose measurement is running for as many polls as ``running``
    has ones (``None``: for ever)."""
    polls = iter(running) if running is not None else None
    return RecordingLibrary(
        channels=channels,
        GetRecordLength=LENGTH, GetPostSamples=POST, GetSampleFrequencyF=HERTZ,
        ADC_Running=lambda: 1 if polls is None else next(polls, 0), ADC_Ready=ready,
        GetMeasurementCh=fill(ctypes.c_double), GetMeasurementRawCh=fill(ctypes.c_uint16))


def test_each_channel_is_read_into_its_row_and_time_counts_from_the_trigger():
    library = stand_in()
    probe = Probe(library)
    volts, time = probe.measure()
    assert volts.shape == (2, LENGTH) and volts.dtype == np.float64
    assert (volts[0] == 1.0).all() and (volts[1] == 2.0).all()
    assert library.calls.count("ADC_Start") == 1 and "ADC_Abort" not in library.calls
    assert time[LENGTH - POST] == 0.0 and np.allclose(np.diff(time), 1 / HERTZ)
    assert not time.flags.writeable

    library.answers["ADC_Running"] = 0
    codes, raw_time = probe.measure_raw()
    assert codes.dtype == np.uint16 and (codes[1] == 2).all()
    assert raw_time is time  # the same settings share one time axis


def test_a_wait_past_its_timeout_stops_the_measurement():
    library = stand_in(running=None)
    with pytest.raises(TimeoutError):
        Probe(library).measure(timeout=0.05)
    assert library.calls[-1] == "ADC_Abort"


def test_ctrl_c_stops_the_measurement_it_interrupts():
    library = stand_in(running=None)
    probe = Probe(library)
    interrupt = threading.Timer(0.1, _thread.interrupt_main)  # as Ctrl-C does
    interrupt.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            probe.measure(timeout=20)
    finally:
        interrupt.cancel()
    assert library.calls[-1] == "ADC_Abort"
    assert "GetMeasurementCh" not in library.calls


def test_a_probe_gone_while_waiting_raises_no_instrument_and_reads_nothing():
    library = stand_in(running=(), ready=0)
    with pytest.raises(veltra.NoInstrumentError) as raised:
        Probe(library).measure()
    assert raised.value.function == "ADC_Running"
    assert "GetMeasurementCh" not in library.calls
