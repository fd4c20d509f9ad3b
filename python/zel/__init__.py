"""RPC III and DAC time histories and the modal export, for numpy users.

    import zel
    with zel.open("road.rsp") as f:          # RPC III or DAC, recognised by content
        x = f.read("wheel force FZ")         # float64 samples of one channel
        X = f.read_all()                     # (points, channels)
    zel.write_rpc("out.rsp", X, f.dt)

Arrays are filled by the library in place, with the interpreter lock
released, so different files can be read on different threads at once.
"""

import builtins
import collections
import math
import operator
import os
import re
import uuid

import numpy as np

from . import _core
from ._errors import ZelError

__all__ = ["open", "File", "Channel", "write_rpc", "write_dac", "export_modal", "ZelError"]

# The release version without its build number ("2026.1.0" of
# "2026.1.0-CL000123"): what `zel --version`, pkg-config and the CMake
# package call the version.
__version__ = _core.build_version().split("-CL")[0]

Channel = collections.namedtuple("Channel", "number name unit scale")
Channel.__doc__ = "A channel: its number (from 1), name, unit and scale (stored integer to value)."

# Text fields the files hold, in bytes.
_RPC_TEXT = 95
_DAC_NAME = 24
_DAC_UNIT = 28


def _text(raw):
    """Bytes of a file's text field: UTF-8 when they are, else Latin-1."""
    try:
        return raw.decode("utf-8")
    except UnicodeDecodeError:
        return raw.decode("latin-1")


def _field(text, size, what):
    """A text as UTF-8 bytes, cut at a character boundary to fit size bytes."""
    if not isinstance(text, str):
        raise ValueError(f"{what} must be a text, not {type(text).__name__}")
    if "\0" in text:
        raise ValueError(f"{what} holds a NUL character")
    raw = text.encode("utf-8")
    if len(raw) <= size:
        return raw
    return raw[:size].decode("utf-8", "ignore").encode("utf-8")


_NUMBER = re.compile(r"\s*[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?")


def _leading_number(text, default):
    match = _NUMBER.match(text)
    return float(match.group(0)) if match else default


def _check_readable(path):
    """FileNotFoundError, IsADirectoryError or PermissionError as Python says them."""
    if os.path.isdir(path):
        raise IsADirectoryError(21, "Is a directory", path)
    with builtins.open(path, "rb"):
        pass


def open(path):  # noqa: A001 - zel.open, like io.open
    """Opens an RPC III or DAC file, recognised by its content."""
    path = os.fspath(path)
    if isinstance(path, bytes):
        path = os.fsdecode(path)
    _check_readable(path)
    if _core.rpc_sniff(path):
        return File(path, "rpc3", _core.RpcFile(path))
    if _core.dac_sniff(path):
        return File(path, "dac", _core.DacFile(path))
    # A DAC header that is valid with something after it broken (extra
    # details cut off, say) is refused with the DAC reader's own code.
    try:
        _core.DacFile(path)
    except ZelError as error:
        if error.code not in (1, 2):
            raise
    # Both families call "not this format" code 2.
    raise ZelError(2, f"{_core.rpc_message(2)} {_core.dac_message(2)}.")


class File:
    """An open time-history file: its facts, channels and samples.

    Every read allocates its array and has the library fill it in place.
    A File may be shared between threads (its calls take turns); different
    Files are read at the same time.
    """

    def __init__(self, path, format, source):
        self.path = path
        self.format = format
        self._source = source
        if format == "rpc3":
            self.dt = source.dt
            self.points = source.samples
            self.date = _text(source.date)
            self._start = 0.0
            scales = {}
            for keyword, value in source.records():
                keyword = keyword.decode("latin-1")
                if keyword.startswith("SCALE.CHAN_"):
                    scales[keyword[len("SCALE.CHAN_") :]] = _leading_number(value.decode("latin-1"), 1.0)
            channels = []
            for number in range(1, source.channels + 1):
                name, unit = source.attributes(number)
                channels.append(Channel(number, _text(name), _text(unit), scales.get(str(number), 1.0)))
        else:
            self.dt = source.dt
            self.points = source.points
            self.date = _text(source.date)
            self._start = source.start
            channels = [Channel(1, _text(source.name), _text(source.unit), 1.0)]
        self.channels = channels

    def __repr__(self):
        return f"<zel.File {self.path!r} {self.format}, {len(self.channels)} channels x {self.points} points>"

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()

    def close(self):
        """Releases the file; reads afterwards raise ValueError."""
        self._source.close()

    def _number(self, channel):
        if isinstance(channel, str):
            numbers = [c.number for c in self.channels if c.name == channel]
            if not numbers:
                raise ValueError(f"no channel named {channel!r}")
            if len(numbers) > 1:
                raise ValueError(f"channel name {channel!r} is not unique: channels {numbers}")
            return numbers[0]
        if isinstance(channel, bool):
            raise ValueError("a channel is a number (from 1) or a name")
        try:
            number = operator.index(channel)
        except TypeError:
            raise ValueError("a channel is a number (from 1) or a name") from None
        if not 1 <= number <= len(self.channels):
            raise ValueError(f"no channel {number} (the file has {len(self.channels)})")
        return number

    def _span(self, start, end):
        """First point and count of the samples whose time lies in [start, end]."""
        first, last = 0, self.points - 1
        for value, what in ((start, "start"), (end, "end")):
            if value is not None and math.isnan(float(value)):
                raise ValueError(f"{what} is not a number")
        if start is not None and end is not None and start > end:
            raise ValueError(f"start {start} s is after end {end} s")
        # A tiny tolerance keeps a time computed from the axis inside it.
        if start is not None:
            k = (float(start) - self._start) / self.dt - 1e-6
            first = int(math.ceil(min(max(k, 0.0), float(self.points))))
        if end is not None:
            k = (float(end) - self._start) / self.dt + 1e-6
            last = int(math.floor(min(max(k, -1.0), float(self.points - 1))))
        if last < first:
            raise ValueError(
                f"no sample between {start} s and {end} s (the file holds "
                f"{self._start} s to {self._start + (self.points - 1) * self.dt} s)"
            )
        return first, last - first + 1

    def read(self, channel, start=None, end=None):
        """Samples of one channel (number from 1, or exact name) as float64,
        whole or those whose time lies within [start, end] seconds."""
        number = self._number(channel)
        first, count = self._span(start, end)
        if self.format == "rpc3":
            return self._source.read(number, first, count)
        return self._source.read(first, count)

    def window(self, channel, time, half_width):
        """Times and values of 2 * half_width + 1 points around a time
        (values beyond the ends hold the first or last value)."""
        number = self._number(channel)
        if isinstance(half_width, bool):
            raise ValueError("half_width must be a whole number")
        try:
            half = operator.index(half_width)
        except TypeError:
            raise ValueError("half_width must be a whole number") from None
        if half < 0:
            raise ValueError("half_width must not be negative")
        if not math.isfinite(float(time)):
            raise ValueError("time must be finite")
        if self.format == "rpc3":
            return self._source.window(number, float(time), half)
        return self._source.window(float(time), half)

    def read_all(self):
        """Every channel as a (points, channels) float64 array in C order."""
        if self.format == "rpc3":
            return self._source.read_all(0, self.points)
        return self._source.read(0, self.points).reshape(self.points, 1)

    def to_pandas(self):
        """A DataFrame: index "time" in seconds, one column per channel name."""
        import pandas as pd

        index = pd.Index(self._start + np.arange(self.points) * self.dt, name="time")
        columns = [c.name for c in self.channels]
        return pd.DataFrame(self.read_all(), index=index, columns=columns, copy=False)


def _interval(dt):
    try:
        dt = float(dt)
    except (TypeError, ValueError):
        raise ValueError("dt must be a number") from None
    if not (math.isfinite(dt) and dt > 0.0):
        raise ValueError(f"dt must be finite and above 0, not {dt}")
    return dt


def _samples(values, what, ndim):
    array = np.asarray(values)
    if array.dtype.kind not in "iuf":
        raise ValueError(f"{what} must hold real numbers, not {array.dtype}")
    if array.ndim != ndim:
        raise ValueError(f"{what} must be {ndim}-D, not of shape {array.shape}")
    if array.size == 0:
        raise ValueError(f"{what} holds no sample")
    return array


class _Replacing:
    """A hidden temporary beside a target, renamed over it on success and
    removed on failure: the target is whole or untouched."""

    def __init__(self, path):
        path = os.fspath(path)
        if isinstance(path, bytes):
            path = os.fsdecode(path)
        self.path = path
        if os.path.isdir(path):
            raise IsADirectoryError(21, "Is a directory", path)
        folder = os.path.dirname(os.path.abspath(path))
        if not os.path.isdir(folder):
            raise FileNotFoundError(2, "No such directory", folder)
        self.temp = os.path.join(folder, f".{os.path.basename(path)}.{uuid.uuid4().hex}.tmp")

    def __enter__(self):
        return self

    def __exit__(self, kind, error, trace):
        try:
            if kind is None:
                os.replace(self.temp, self.path)
        finally:
            try:
                os.unlink(self.temp)
            except FileNotFoundError:
                pass
        return False


def write_rpc(path, data, dt, names=None, units=None, dtype="int16", rounding="nearest"):
    """Writes an RPC III file of 16-bit scaled integers or 32-bit floats.

    data is a (points, channels) array or a dict name -> 1-D array; the
    sample count is recorded, so the file reads back with as many points.
    """
    dt = _interval(dt)
    if dtype not in ("int16", "float32"):
        raise ValueError(f'dtype must be "int16" or "float32", not {dtype!r}')
    if rounding not in ("nearest", "truncate"):
        raise ValueError(f'rounding must be "nearest" or "truncate", not {rounding!r}')
    if isinstance(data, dict):
        if names is not None:
            raise ValueError("names come from the dict's keys")
        names = list(data.keys())
        columns = [_samples(v, f"data[{k!r}]", 1) for k, v in data.items()]
        if not columns:
            raise ValueError("data holds no channel")
        if len({len(c) for c in columns}) != 1:
            raise ValueError("every channel of data needs the same number of samples")
        array = np.empty((len(columns[0]), len(columns)), order="F")
        for c, column in enumerate(columns):
            array[:, c] = column
    else:
        array = _samples(data, "data", 2)
    points, count = array.shape
    if points > 2**31 - 1 or count > 2**31 - 1:
        raise ValueError("too many samples or channels for an RPC III file")
    names = [""] * count if names is None else list(names)
    units = [""] * count if units is None else list(units)
    if len(names) != count or len(units) != count:
        raise ValueError(f"{count} channels need {count} names and {count} units")
    names = [_field(n, _RPC_TEXT, "a name") for n in names]
    units = [_field(u, _RPC_TEXT, "a unit") for u in units]
    if dtype == "int16" and not np.isfinite(array).all():
        raise ValueError('int16 data must be finite (use dtype="float32" for infinities and NaN)')
    with _Replacing(path) as out:
        _core.write_rpc(
            out.temp, out.path, array, dt, names, units, dtype == "float32", rounding == "truncate"
        )


def write_dac(path, x, dt, name="", unit="", start=0.0):
    """Writes one channel as a DAC file (32-bit floats); name and unit are
    the file's y label and y note."""
    dt = _interval(dt)
    array = _samples(x, "x", 1)
    if len(array) > 2**31 - 1:
        raise ValueError("too many samples for a DAC file")
    start = float(start)
    if not math.isfinite(start):
        raise ValueError("start must be finite")
    name = _field(name, _DAC_NAME, "name")
    unit = _field(unit, _DAC_UNIT, "unit")
    with _Replacing(path) as out:
        _core.write_dac(out.temp, array, dt, name, unit, start)


def _matrix(values, what, steps, width, complex_values):
    if values is None:
        raise ValueError(f"{what} is needed")
    array = np.asarray(values)
    kinds = "iufc" if complex_values else "iuf"
    if array.dtype.kind not in kinds:
        raise ValueError(f"{what} must hold {'complex' if complex_values else 'real'} numbers, not {array.dtype}")
    if array.ndim != 2 or array.shape[0] != steps or (width is not None and array.shape[1] != width):
        wanted = f"({steps}, {width if width is not None else 'modes'})"
        raise ValueError(f"{what} must be of shape {wanted}, not {array.shape}")
    if array.shape[1] == 0:
        raise ValueError(f"{what} holds no mode")
    if not complex_values:
        return np.asfortranarray(array, dtype=np.float64)
    # Frequency output: the real part of mode j in column 2j - 1, the
    # imaginary part in column 2j (counted from 1).
    array = array.astype(np.complex128, copy=False)
    out = np.empty((steps, 2 * array.shape[1]), order="F")
    out[:, 0::2] = array.real
    out[:, 1::2] = array.imag
    return out


def export_modal(
    path,
    steps,
    modal_disp,
    modal_vel,
    modal_acc,
    body_disp,
    body_vel,
    body_acc,
    frequency=False,
    dropped=0,
    format="op2",
):
    """Writes modal coordinates for a structural solver, as an OUTPUT2
    file (format "op2") or punch cards (format "punch").

    steps: (N,) times, or frequencies with frequency=True; modal_*: (N,
    modes); body_*: (N, 6). Time output takes float64 and leaves out the
    last `dropped` steps; frequency output takes complex128 and reads only
    modal_disp and body_disp. One export runs at a time in a process.
    """
    if format not in ("op2", "punch"):
        raise ValueError(f'format must be "op2" or "punch", not {format!r}')
    step_values = _samples(steps, "steps", 1)
    n = len(step_values)
    if n > 2**31 - 1:
        raise ValueError("too many steps")
    if isinstance(dropped, bool):
        raise ValueError("dropped must be a whole number")
    try:
        dropped = operator.index(dropped)
    except TypeError:
        raise ValueError("dropped must be a whole number") from None
    frequency = bool(frequency)
    if frequency and dropped != 0:
        raise ValueError("dropped applies to time output only")
    if not 0 <= dropped < n:
        raise ValueError(f"dropped must lie between 0 and {n - 1}")
    uh = _matrix(modal_disp, "modal_disp", n, None, frequency)
    modes = uh.shape[1] // 2 if frequency else uh.shape[1]
    bh = _matrix(body_disp, "body_disp", n, 6, frequency)
    if frequency:
        others = [None] * 4
    else:
        others = [
            _matrix(modal_vel, "modal_vel", n, modes, False),
            _matrix(body_vel, "body_vel", n, 6, False),
            _matrix(modal_acc, "modal_acc", n, modes, False),
            _matrix(body_acc, "body_acc", n, 6, False),
        ]
    step_values = np.asfortranarray(step_values, dtype=np.float64)
    with _Replacing(path) as out:
        code = _core.export_modal(
            out.temp, format == "punch", modes, n, dropped, step_values, uh, bh, *others, frequency
        )
        if code == 0:
            raise ZelError(0, "The OUTPUT2 scratch storage could not be obtained.")
        if code != 1:
            raise ZelError(code, "The export file could not be created or written completely.")
