import os
import sys
import sysconfig

import pytest

import brintel_config


def test_public_names_in_registration_order():
    assert brintel_config.__all__ == ["ReaderConfig", "AppConfig", "read_brintel_readers_config"]
    namespace = {}
    exec("from brintel_config import *", namespace)
    assert sorted(k for k in namespace if k != "__builtins__") == sorted(brintel_config.__all__)


def test_module_doc_is_empty_and_nothing_else_is_exported():
    assert brintel_config.__doc__ == ""
    public = {n for n in vars(brintel_config) if not n.startswith("_")}
    assert public == set(brintel_config.__all__)


def test_reimport_returns_the_same_module_and_classes():
    first = sys.modules.pop("brintel_config")
    try:
        import brintel_config as second
        assert second is first
        assert second.__all__ == ["ReaderConfig", "AppConfig", "read_brintel_readers_config"]
        assert second.ReaderConfig is first.ReaderConfig
    finally:
        sys.modules["brintel_config"] = first


FREE_THREADED = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))

# A legacy sub-interpreter admits single-phase modules, so the module's own
# check is what refuses it there.
if sys.version_info < (3, 13):
    CREATE_LEGACY = "import _xxsubinterpreters as interpreters\ninterp = interpreters.create(isolated=False)"
else:
    CREATE_LEGACY = "import _interpreters as interpreters\ninterp = interpreters.create(interpreters.new_config('legacy'))"

SUBINTERPRETER = CREATE_LEGACY + """
import brintel_config, os
r, w = os.pipe()
interpreters.run_string(interp, f'''
import os
try:
    import brintel_config
    outcome = "imported"
except ImportError as e:
    outcome = "ImportError: " + str(e)
os.write({w}, outcome.encode())
''')
print(os.read(r, 1000).decode())
"""


def test_legacy_subinterpreter_is_refused_by_the_module(run_python):
    result = run_python(SUBINTERPRETER)
    assert result.returncode == 0, result.stderr
    assert result.stdout.startswith("ImportError: ")
    # A free-threaded interpreter refuses a single-phase module in every
    # sub-interpreter itself, before the module is asked.
    refusal = "does not support loading in subinterpreters" if FREE_THREADED else "does not support sub-interpreters"
    assert refusal in result.stdout


def test_main_interpreter_keeps_working_after_refusal(run_python):
    code = SUBINTERPRETER + """
r = brintel_config.ReaderConfig(model_name="m", device="cpu")
print(r.model_name)
"""
    result = run_python(code)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines()[-1] == "m"


def test_isolated_subinterpreter_refuses_single_phase_module(run_python):
    if sys.version_info < (3, 13):
        code = """
import _xxsubinterpreters as interpreters
interp = interpreters.create()
try:
    interpreters.run_string(interp, "import brintel_config")
except Exception as e:
    print(type(e).__name__, e)
"""
    else:
        code = """
import _interpreters as interpreters
interp = interpreters.create()
excinfo = interpreters.run_string(interp, "import brintel_config")
print(excinfo.type.__name__ if excinfo else "imported", excinfo.msg if excinfo else "")
"""
    result = run_python(code)
    assert result.returncode == 0, result.stderr
    assert "ImportError" in result.stdout
    assert "does not support loading in subinterpreters" in result.stdout


def test_internal_error_class_is_hidden():
    assert not any(
        isinstance(v, type) and issubclass(v, BaseException) for v in vars(brintel_config).values()
    )


# Fails the n-th allocation of one call, for every n up to a bound, and
# prints each outcome as "<call> <n> <exception>: <text> <- <cause>".
FAIL_EACH_ALLOCATION = """
import _testcapi
from brintel_config import ReaderConfig, read_brintel_readers_config
from manifests import manifest

with open(PATH, "w") as f:
    f.write(manifest("r1: {model_name: m, device: cpu, consumer_group: g}"))
reader = ReaderConfig(model_name="m" * 64, device="cpu", max_batch_size=2**40)
calls = {
    "constructor": lambda: ReaderConfig(model_name="m" * 64, device="cpu"),
    "getter": lambda: reader.model_name,
    "dict": reader.dict_without_optionals,
    "read": lambda: read_brintel_readers_config(PATH, "r1"),
}
for name, call in calls.items():
    for n in range(200):
        _testcapi.set_nomemory(n, n + 1)
        try:
            call()
        except BaseException as e:
            _testcapi.remove_mem_hooks()
            print(name, n, f"{type(e).__name__}: {e} <- {type(e.__cause__).__name__}")
        finally:
            _testcapi.remove_mem_hooks()
"""


def test_a_failed_allocation_surfaces_as_the_internal_error_caused_by_it(run_python, tmp_path):
    pytest.importorskip("_testcapi")
    code = FAIL_EACH_ALLOCATION.replace("PATH", repr(str(tmp_path / "manifest.yaml")))
    result = run_python(code, cwd=os.path.dirname(__file__))
    assert result.returncode == 0, result.stderr
    outcomes = [line.split(" ", 2) for line in result.stdout.splitlines()]
    # The interpreter makes the constructor's keyword dict before the module is entered; whether that takes
    # an allocation depends on its free lists (3.13 and later, free-threaded builds), so its failure is not ours.
    outcomes = [outcome for outcome in outcomes if outcome != ["constructor", "0", "MemoryError:  <- NoneType"]]
    assert {call for call, _, _ in outcomes} == {"constructor", "getter", "dict", "read"}
    assert {outcome for _, _, outcome in outcomes} == {"InternalError: MemoryError <- MemoryError"}
