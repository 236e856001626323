"""Where the package finds the library, and what it says when it finds none."""

import os
import shutil
import sys

import pytest
from conftest import run_python

import veltra
from veltra import _library

SEARCH_PATH_VARIABLE = "PATH" if sys.platform == "win32" else "LD_LIBRARY_PATH"


@pytest.fixture(scope="module")
def built_library() -> str:
    """The library file this process loaded."""
    return veltra.library_path()


def test_the_file_veltra_library_names_is_loaded(built_library, tmp_path):
    copy = tmp_path / f"renamed-{_library.LIBRARY_FILE}"
    shutil.copy(built_library, copy)
    done = run_python("import veltra; print(veltra.library_path())",
                      {"VELTRA_LIBRARY": str(copy)})
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == str(copy)


def test_veltra_library_naming_no_file_is_an_error_naming_both(tmp_path):
    missing = tmp_path / "nowhere" / _library.LIBRARY_FILE
    with pytest.raises(veltra.LibraryNotFoundError) as raised:
        # The library beside the package must not be taken instead of the one asked for.
        _library.find_and_load({"VELTRA_LIBRARY": str(missing)},
                               os.path.dirname(veltra.library_path()))
    assert "VELTRA_LIBRARY" in str(raised.value) and str(missing) in str(raised.value)


def test_the_library_beside_the_package_comes_before_the_system_path(built_library):
    found = _library.find_and_load({}, os.path.dirname(built_library))
    assert found._name == os.path.join(os.path.dirname(built_library), _library.LIBRARY_FILE)


def test_the_system_library_path_is_searched_last(built_library, tmp_path):
    # A process whose search path holds the library's folder, with nothing beside the package.
    code = (
        "from veltra import _library\n"
        f"found = _library.find_and_load({{}}, {str(tmp_path)!r})\n"
        "print(found._name, found.GetMaxRecordLength())\n")
    folder = os.path.dirname(built_library)
    done = run_python(code, {SEARCH_PATH_VARIABLE: folder, "VELTRA_LIBRARY": None})
    assert done.returncode == 0, done.stderr
    name, max_record_length = done.stdout.split()
    assert os.path.basename(name) == _library.LIBRARY_FILE
    assert max_record_length == "0"  # no instrument is open: the library's own answer


def test_no_library_anywhere_says_where_it_looked_and_what_to_do(tmp_path):
    done = run_python(
        "from veltra import _library\n"
        f"_library.find_and_load({{}}, {str(tmp_path)!r})\n",
        {SEARCH_PATH_VARIABLE: str(tmp_path), "VELTRA_LIBRARY": None})
    assert done.returncode != 0
    last_line = done.stderr.strip().splitlines()[-1]
    assert last_line.startswith("veltra.errors.LibraryNotFoundError: ")
    assert str(tmp_path / _library.LIBRARY_FILE) in last_line
    assert "system's library path" in last_line and "VELTRA_LIBRARY" in last_line
