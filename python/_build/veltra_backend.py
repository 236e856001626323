"""Builds the veltra package's wheel and source archive with the standard library alone.

pip calls the hooks below (the build-backend interface of pyproject.toml). Nothing has to be
fetched from a package index to build, so ``pip install ./python`` works offline too.

The config setting ``library`` puts a built Veltra library into the wheel, beside the package,
where the package looks for it first after ``VELTRA_LIBRARY``:

    pip install ./python --config-settings library=$PWD/build/linux/bin/libveltra.so
"""

from __future__ import annotations

import base64
import hashlib
import io
import os
import re
import sysconfig
import tarfile
import zipfile
from typing import Dict, List, Mapping, Optional, Tuple

try:
    import tomllib
except ModuleNotFoundError:  # before Python 3.11; pyproject.toml asks for tomli there
    import tomli as tomllib  # type: ignore[no-redef]

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
PACKAGE = "veltra"


def _project() -> Dict[str, object]:
    with open(os.path.join(SOURCE, "pyproject.toml"), "rb") as file:
        return tomllib.load(file)["project"]


def _version() -> str:
    with open(os.path.join(SOURCE, PACKAGE, "__init__.py"), encoding="utf-8") as file:
        found = re.search(r'^__version__ = "([^"]+)"', file.read(), re.MULTILINE)
    if not found:
        raise RuntimeError(f"{PACKAGE}/__init__.py sets no __version__")
    return found.group(1)


def _metadata() -> str:
    project = _project()
    lines = [
        "Metadata-Version: 2.1",
        f"Name: {project['name']}",
        f"Version: {_version()}",
        f"Summary: {project['description']}",
        f"Requires-Python: {project['requires-python']}",
    ]
    lines += [f"Requires-Dist: {requirement}" for requirement in project["dependencies"]]
    with open(os.path.join(SOURCE, str(project["readme"])), encoding="utf-8") as file:
        readme = file.read()
    lines.append("Description-Content-Type: text/markdown")
    return "\n".join(lines) + "\n\n" + readme


def _package_files() -> List[Tuple[str, str]]:
    """(path in the archive, path on disk) of the package's own files."""
    folder = os.path.join(SOURCE, PACKAGE)
    return [(f"{PACKAGE}/{name}", os.path.join(folder, name)) for name in sorted(os.listdir(folder))
            if name.endswith(".py") or name == "py.typed"]


def _record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def _library_setting(config_settings: Optional[Mapping[str, object]]) -> Optional[str]:
    library = (config_settings or {}).get("library")
    if library is None:
        return None
    # pip runs the backend in the folder of pyproject.toml, so a relative path counts from there.
    path = os.path.abspath(str(library))
    if not os.path.isfile(path):
        raise FileNotFoundError(f"config setting library={library}: there is no file {path}"
                                " (give the library's absolute path)")
    return path


def build_wheel(wheel_directory: str, config_settings: Optional[Mapping[str, object]] = None,
                metadata_directory: Optional[str] = None) -> str:
    """Writes the wheel into ``wheel_directory`` and returns its file name."""
    version = _version()
    files = _package_files()
    library = _library_setting(config_settings)
    if library:
        files.append((f"{PACKAGE}/{os.path.basename(library)}", library))
        # A wheel that carries the library is for the platform it was built for.
        tag = "py3-none-" + re.sub(r"[-.]", "_", sysconfig.get_platform())
    else:
        tag = "py3-none-any"
    info = f"{PACKAGE}-{version}.dist-info"
    generated = {
        f"{info}/METADATA": _metadata().encode(),
        f"{info}/WHEEL": (f"Wheel-Version: 1.0\nGenerator: veltra_backend\n"
                          f"Root-Is-Purelib: {'false' if library else 'true'}\nTag: {tag}\n"
                          ).encode(),
    }
    name = f"{PACKAGE}-{version}-{tag}.whl"
    record: List[str] = []
    with zipfile.ZipFile(os.path.join(wheel_directory, name), "w", zipfile.ZIP_DEFLATED) as wheel:
        for archived, disk in files:
            with open(disk, "rb") as file:
                data = file.read()
            wheel.writestr(archived, data)
            record.append(_record_line(archived, data))
        for archived, data in generated.items():
            wheel.writestr(archived, data)
            record.append(_record_line(archived, data))
        record.append(f"{info}/RECORD,,")
        wheel.writestr(f"{info}/RECORD", "\n".join(record) + "\n")
    return name


def build_sdist(sdist_directory: str,
                config_settings: Optional[Mapping[str, object]] = None) -> str:
    """Writes the source archive into ``sdist_directory`` and returns its file name."""
    base = f"{PACKAGE}-{_version()}"
    name = f"{base}.tar.gz"
    with tarfile.open(os.path.join(sdist_directory, name), "w:gz") as archive:
        for part in ("pyproject.toml", str(_project()["readme"]), "_build", PACKAGE, "tests"):
            archive.add(os.path.join(SOURCE, part), f"{base}/{part}",
                        filter=lambda entry: None if "__pycache__" in entry.name else entry)
        info = tarfile.TarInfo(f"{base}/PKG-INFO")
        metadata = _metadata().encode()
        info.size = len(metadata)
        archive.addfile(info, io.BytesIO(metadata))
    return name
