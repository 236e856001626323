"""Exceptions raised for the library's status codes.

Every call of the library that returns a status other than ``STATUS_OK`` raises the subclass of
:class:`VeltraError` that belongs to that status. The exception names the library function, the
status and the value the library refused (the channel number for :class:`InvalidChannelError`).
"""

from __future__ import annotations

from typing import Any, Dict, Optional, Type

__all__ = [
    "VeltraError",
    "NoInstrumentError",
    "NotInitializedError",
    "NotSupportedError",
    "NoGeneratorError",
    "InvalidChannelError",
    "InvalidValueError",
    "I2CError",
    "I2CInvalidAddressError",
    "I2CInvalidArgumentError",
    "I2CHostError",
    "LibraryNotFoundError",
    "check",
]

STATUS_OK = 0


class VeltraError(Exception):
    """A library call answered a status other than ``STATUS_OK``.

    Attributes:
        status: the status code (one bit, as in ``veltra.h``).
        status_name: the code's name, for example ``"STATUS_INVALID_VALUE"``.
        function: the library function that answered it.
        value: the value the library refused (the channel number for an invalid channel), or
            ``None`` when the call took no value.
    """

    status: int = -1
    status_name: str = "STATUS_UNKNOWN"
    meaning: str = "a status this package does not know"

    def __init__(self, function: str, value: Any = None, channel: Optional[int] = None,
                 status: Optional[int] = None, detail: str = "") -> None:
        if status is not None:
            self.status = status
            self.status_name = f"status {status}"
        self.function = function
        self.channel = channel
        self.value = channel if isinstance(self, InvalidChannelError) and channel is not None \
            else value
        arguments = []
        if channel is not None:
            arguments.append(f"channel {channel}")
        if value is not None:
            arguments.append(repr(value))
        call = f"{function}({', '.join(arguments)})"
        super().__init__(f"{call}: {self.status_name} ({self.meaning}){detail}")


class NoInstrumentError(VeltraError):
    status, status_name, meaning = 1, "STATUS_NO_INSTRUMENT", "no instrument is open"


class NotInitializedError(VeltraError):
    status, status_name, meaning = 2, "STATUS_NOT_INITIALIZED", "no instrument is open"


class NotSupportedError(VeltraError):
    status, status_name, meaning = (4, "STATUS_NOT_SUPPORTED",
                                    "the instrument lacks the feature or refused it")


class NoGeneratorError(VeltraError):
    status, status_name, meaning = 8, "STATUS_NO_GENERATOR", "no function generator with that number"


class InvalidChannelError(VeltraError, ValueError):
    status, status_name, meaning = 16, "STATUS_INVALID_CHANNEL", "channel number out of range"


class InvalidValueError(VeltraError, ValueError):
    status, status_name, meaning = (32, "STATUS_INVALID_VALUE",
                                    "value outside the accepted set or range")


class I2CError(VeltraError):
    status, status_name, meaning = 64, "STATUS_I2C_ERROR", "the I2C transfer failed"


class I2CInvalidAddressError(VeltraError):
    status, status_name, meaning = (128, "STATUS_I2C_INVALID_ADDRESS",
                                    "no device answered at the I2C address")


class I2CInvalidArgumentError(VeltraError):
    status, status_name, meaning = (256, "STATUS_I2C_INVALID_ARGUMENT",
                                    "the I2C host refused the arguments")


class I2CHostError(VeltraError):
    status, status_name, meaning = 512, "STATUS_I2C_HOST_ERROR", "the I2C host failed"


class LibraryNotFoundError(OSError):
    """The Veltra shared library (``libveltra.so`` or ``veltra.dll``) could not be loaded."""


_ERROR_BY_STATUS: Dict[int, Type[VeltraError]] = {
    cls.status: cls
    for cls in (NoInstrumentError, NotInitializedError, NotSupportedError, NoGeneratorError,
                InvalidChannelError, InvalidValueError, I2CError, I2CInvalidAddressError,
                I2CInvalidArgumentError, I2CHostError)
}


def check(status: int, function: str, value: Any = None, channel: Optional[int] = None) -> None:
    """Raises the error of ``status`` unless it is ``STATUS_OK``.

    Args:
        status: what ``function`` returned.
        function: the library function's name, for the message.
        value: the value the call passed, reported when the library refuses it.
        channel: the channel number the call passed, if any.
    """
    if status == STATUS_OK:
        return
    error = _ERROR_BY_STATUS.get(status)
    if error is None:
        raise VeltraError(function, value, channel, status=status)
    raise error(function, value, channel)
