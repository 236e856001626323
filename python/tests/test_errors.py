"""Statuses raised as exceptions, arguments the library's types cannot hold, and the probe's
life cycle (closing, the opening thread), with and without an instrument."""

import threading

import pytest
from conftest import run_python

import veltra
from veltra.errors import check

STATUSES = [
    (1, veltra.NoInstrumentError, "STATUS_NO_INSTRUMENT"),
    (2, veltra.NotInitializedError, "STATUS_NOT_INITIALIZED"),
    (4, veltra.NotSupportedError, "STATUS_NOT_SUPPORTED"),
    (8, veltra.NoGeneratorError, "STATUS_NO_GENERATOR"),
    (16, veltra.InvalidChannelError, "STATUS_INVALID_CHANNEL"),
    (32, veltra.InvalidValueError, "STATUS_INVALID_VALUE"),
    (64, veltra.I2CError, "STATUS_I2C_ERROR"),
    (128, veltra.I2CInvalidAddressError, "STATUS_I2C_INVALID_ADDRESS"),
    (256, veltra.I2CInvalidArgumentError, "STATUS_I2C_INVALID_ARGUMENT"),
    (512, veltra.I2CHostError, "STATUS_I2C_HOST_ERROR"),
]


@pytest.mark.parametrize("status, error, name", STATUSES)
def test_each_status_raises_its_class_with_name_function_and_value(status, error, name):
    with pytest.raises(error) as raised:
        check(status, "SetSomething", value=1234.5, channel=3)
    assert isinstance(raised.value, veltra.VeltraError)
    assert (raised.value.status, raised.value.status_name) == (status, name)
    assert raised.value.function == "SetSomething"
    # The channel is what an invalid channel refers to; otherwise the value is.
    assert raised.value.value == (3 if status == 16 else 1234.5)
    assert str(raised.value).startswith(f"SetSomething(channel 3, 1234.5): {name} (")


def test_ok_raises_nothing_and_an_unknown_status_is_still_a_veltra_error():
    check(0, "SetSomething", value=1)
    with pytest.raises(veltra.VeltraError) as raised:
        check(1024, "SetSomething")
    assert type(raised.value) is veltra.VeltraError
    assert raised.value.status == 1024 and "status 1024" in str(raised.value)


def test_invalid_values_and_channels_are_value_errors_too():
    assert issubclass(veltra.InvalidValueError, ValueError)
    assert issubclass(veltra.InvalidChannelError, ValueError)


def test_opening_without_a_probe_raises_no_instrument():
    done = run_python(
        "import veltra\n"
        "try:\n"
        "    veltra.open()\n"
        "except veltra.NoInstrumentError as error:\n"
        "    print(error.status, error.function, error)\n",
        {"VELTRA_SIMULATE": None})
    assert done.returncode == 0, done.stderr
    assert done.stdout.startswith("1 InitInstrument InitInstrument(): STATUS_NO_INSTRUMENT")
    assert "VELTRA_SIMULATE" in done.stdout  # says how to get a simulated probe


def test_other_simulated_probes_than_the_loaded_library_has_are_refused():
    veltra.library_path()  # loaded with this process's VELTRA_SIMULATE
    with pytest.raises(ValueError, match="new process"):
        veltra.open(simulate="dual:serial=5")


def test_the_with_block_closes_the_probe_when_its_body_raises(recorded):
    probe, library = recorded
    with pytest.raises(KeyError):
        with probe:
            raise KeyError("failure inside the block")
    assert library.calls.count("ExitInstrument") == 1
    assert probe.closed
    probe.close()  # closing again does nothing
    assert library.calls.count("ExitInstrument") == 1


@pytest.mark.parametrize("use", [
    lambda probe, channel: probe.record_length,
    lambda probe, channel: probe.measure(),
    lambda probe, channel: setattr(probe, "sample_frequency", 1e6),
    lambda probe, channel: channel.range,
    lambda probe, channel: setattr(channel, "trigger_level", 0.1),
])
def test_a_closed_probe_raises_no_instrument_without_calling_the_library(recorded, use):
    probe, library = recorded
    channel = probe.channels[0]  # taken while open: its calls too are refused after closing
    probe.close()
    calls = len(library.calls)
    with pytest.raises(veltra.NoInstrumentError):
        use(probe, channel)
    assert len(library.calls) == calls


@pytest.mark.parametrize("setting, value", [
    ("record_length", 2**32),
    ("record_length", -1),
    ("post_samples", 2**32),
    ("resolution", 256),
    ("trigger_source", -1),
    ("trigger_timeout", -0.5),  # only None waits for ever
    ("trigger_timeout", 2**31 / 1000),  # beyond the milliseconds a 32-bit count holds
])
def test_values_the_library_types_cannot_hold_are_refused_before_the_call(recorded, setting,
                                                                           value):
    probe, library = recorded
    calls = len(library.calls)
    with pytest.raises(veltra.InvalidValueError) as raised:
        setattr(probe, setting, value)
    assert raised.value.value == value
    assert len(library.calls) == calls


def test_the_probe_refuses_calls_from_another_thread(recorded):
    probe, _ = recorded
    raised = []

    def use_elsewhere():
        try:
            probe.record_length
        except RuntimeError as error:
            raised.append(error)

    other = threading.Thread(target=use_elsewhere)
    other.start()
    other.join()
    assert len(raised) == 1 and "thread that opened it" in str(raised[0])
    assert probe.record_length == 0  # the opening thread still may use it
