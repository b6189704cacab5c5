import os
import pathlib
import re
import signal
import stat
import textwrap

import pytest

from brintel_config import ReaderConfig, read_brintel_readers_config

from manifests import SERVER_CONFIG, every_field, fields_of as fields, manifest
from updates import (AS_NOBODY, IMPORT_LLAMA, NOBODY, interrupt_while_blocked, llama, normal_update_text,
                     root_only)

WORKED_EXAMPLE = manifest(every_field({"model_name": "llama", "device": "cuda", "consumer_group": "primary",
                                       "cuda_visible_devices": "0,1", "tensor_parallel": "2"}))


@pytest.fixture
def path(tmp_path):
    target = tmp_path / "manifest.yaml"
    target.write_text(manifest())
    return target


# The one golden text; every other test compares against what a normal
# update writes (updates.normal_update_text), so that a new field touches
# only this.
def test_worked_example_is_written_byte_for_byte(path):
    assert llama().add_to_manifest_yaml(str(path), "r1") is None
    assert path.read_text() == WORKED_EXAMPLE == normal_update_text()


TRICKY = ["", "null", "~", "true", "0x10", "007", "-5", "1e3", ".inf", "a: b", " lead",
          "line1\nline2", "trailing\n", "é", "0,1", "# not a comment", "'quoted'", "\"dq\"",
          "-", "[x]", "{y}", "*alias", "&anchor", "!tag", "%", "@", "`", "key:", "- item", "+01", "NaN"]


@pytest.mark.parametrize("text", TRICKY)
def test_strings_round_trip(path, text):
    original = ReaderConfig(model_name="x" + text, device="cpu", consumer_group=text,
                            log_level=text, cuda_visible_devices=text)
    original.add_to_manifest_yaml(str(path), "r1")
    assert fields(read_brintel_readers_config(str(path), "r1")) == fields(original)


@pytest.mark.parametrize(
    "value, written",
    [("", "''"), ("true", "'true'"), ("4096", "'4096'"), ("0,1", "0,1"), ("007", "'007'"),
     ("~", "'~'"), ("0x10", "'0x10'"), ("1e3", "'1e3'"), ("a: b", "'a: b'"), (" lead", "' lead'"),
     *[(text, f"'{text}'") for text in ["0x" + "f" * 33, "-0x" + "f" * 33, "0b" + "1" * 129, "+0o" + "7" * 44,
                                         "1" * 50, "-" + "9" * 40, "18446744073709551616"]],
     ("0x" + "g" * 33, "0x" + "g" * 33),
     # every first byte that may open a typed text, and texts that open with another
     *[(text, f"'{text}'") for text in ["Null", "NULL", "False", "TRUE", "+1", "-0", ".5", "-.inf", "+.INF",
                                         ".NaN", "9"]],
     ("nan", "nan"), ("Yes", "Yes"), ("/x", "/x")],
)
def test_string_quoting(path, value, written):
    ReaderConfig(model_name="m", device="cpu", log_level=value).add_to_manifest_yaml(str(path), "r1")
    assert f"      log_level: {written}\n" in path.read_text()


def test_text_with_line_feed_is_a_literal_block(path):
    ReaderConfig(model_name="m", device="cpu", log_level="a\nb").add_to_manifest_yaml(str(path), "r1")
    assert "      log_level: |-\n        a\n        b\n" in path.read_text()


@pytest.mark.parametrize("reader_id, written", [("001", "'001':"), ("1", "'1':"), ("", "'':"), ("r 1", "r 1:")])
def test_reader_ids_round_trip(path, reader_id, written):
    llama().add_to_manifest_yaml(str(path), reader_id)
    assert f"\n    {written}\n" in path.read_text()
    assert read_brintel_readers_config(str(path), reader_id).model_name == "llama"


def test_largest_numbers_are_written_in_full(path):
    ReaderConfig(model_name="m", device="cpu", max_batch_size=2**64 - 1,
                 tensor_parallel=2**32 - 1).add_to_manifest_yaml(str(path), "r1")
    text = path.read_text()
    assert "max_batch_size: 18446744073709551615\n" in text
    assert "tensor_parallel: 4294967295\n" in text


def test_adding_and_replacing_readers(path):
    path.write_text(manifest("a:\n  model_name: old\n  device: cpu\n  consumer_group: g\n  quant_type: q\n"
                             "b:\n  model_name: b\n  device: cpu\n  consumer_group: g\n"))
    ReaderConfig(model_name="c", device="cpu").add_to_manifest_yaml(str(path), "c")
    assert {read_brintel_readers_config(str(path), i).model_name for i in "abc"} == {"old", "b", "c"}
    replacement = ReaderConfig(model_name="new", device="cuda")
    replacement.add_to_manifest_yaml(str(path), "a")
    assert fields(read_brintel_readers_config(str(path), "a")) == fields(replacement)
    assert path.read_text().count("model_name:") == 3


def test_records_validate_would_refuse_are_stored(path):
    path.write_text(manifest("r1:\n  model_name: m\n  device: gpu\n  consumer_group: g\n  page_cache_size: 4096\n"))
    gpu = read_brintel_readers_config(str(path), "r1")
    gpu.add_to_manifest_yaml(str(path), "r2")
    assert "      device: gpu\n      consumer_group: g\n" in path.read_text()
    assert "      page_cache_size: '4096'\n" in path.read_text()
    assert fields(read_brintel_readers_config(str(path), "r2")) == fields(gpu)


def test_other_top_level_entries_are_dropped(path):
    path.write_text(manifest() + manifest(key="other"))
    llama().add_to_manifest_yaml(str(path), "r1")
    assert path.read_text() == normal_update_text()


def display(excinfo):
    assert type(excinfo.value) is Exception
    (text,) = excinfo.value.args
    return text


@pytest.mark.parametrize(
    "content, message",
    [
        (b"", "Error Error Serializing/Deserializing:: EOF while parsing a value"),
        (b"---\n", "Error Error Serializing/Deserializing:: No brintel key found in manifest"),
        (manifest(key="Brintel").encode(),
         "Error Error Serializing/Deserializing:: No brintel key found in manifest"),
        (manifest(server=SERVER_CONFIG.replace("    internal_port: 3005\n", "")).encode(),
         "Error Error Serializing/Deserializing:: brintel.server_config: missing field "
         "`internal_port` at line 3 column 5"),
        ((manifest() + "other: 1\n").encode(),
         "Error Error Serializing/Deserializing:: other: invalid type: integer `1`, "
         "expected struct ManifestConfig at line 16 column 8"),
        (b"brintel: \xff\n", "File Not Found on path: {path}"),
    ],
)
def test_refusals_leave_the_file_untouched(path, content, message):
    path.write_bytes(content)
    with pytest.raises(Exception) as excinfo:
        llama().add_to_manifest_yaml(str(path), "r1")
    assert display(excinfo) == message.format(path=path)
    assert path.read_bytes() == content
    assert os.listdir(path.parent) == [path.name]


def test_missing_file_and_directory(tmp_path):
    missing = tmp_path / "missing.yaml"
    for target in (str(missing), str(tmp_path), "relative/missing.yaml", ""):
        with pytest.raises(Exception) as excinfo:
            llama().add_to_manifest_yaml(target, "r1")
        assert display(excinfo) == f"File Not Found on path: {target}"
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "ReaderConfig.add_to_manifest_yaml() missing 2 required positional arguments: 'path' and 'reader_id'"),
        (("p",), {}, "ReaderConfig.add_to_manifest_yaml() missing 1 required positional argument: 'reader_id'"),
        ((), {"reader_id": "r"}, "ReaderConfig.add_to_manifest_yaml() missing 1 required positional argument: 'path'"),
        (("p", "r", "x"), {}, "ReaderConfig.add_to_manifest_yaml() takes 2 positional arguments but 3 were given"),
        (("p",), {"path": "q", "reader_id": "r"}, "ReaderConfig.add_to_manifest_yaml() got multiple values for argument 'path'"),
        (("p", "r"), {"colour": 1}, "ReaderConfig.add_to_manifest_yaml() got an unexpected keyword argument 'colour'"),
        ((pathlib.Path("p"), None), {}, "argument 'path': 'PosixPath' object cannot be converted to 'PyString'"),
        (("p", None), {}, "argument 'reader_id': 'NoneType' object cannot be converted to 'PyString'"),
        ((b"p", "r"), {}, "argument 'path': 'bytes' object cannot be converted to 'PyString'"),
    ],
)
def test_argument_binding(args, kwargs, message):
    with pytest.raises(TypeError) as excinfo:
        llama().add_to_manifest_yaml(*args, **kwargs)
    assert str(excinfo.value) == message


def test_keywords_are_accepted(path):
    llama().add_to_manifest_yaml(reader_id="r1", path=str(path))
    assert path.read_text() == normal_update_text()


def test_permissions_of_the_replaced_file_are_kept(path):
    path.chmod(0o600)
    llama().add_to_manifest_yaml(str(path), "r1")
    assert stat.S_IMODE(path.stat().st_mode) == 0o600


# The limit lies between the old text's size and the new one's.
@pytest.mark.parametrize("faults", [{}, {"BRINTEL_FAIL_CREATE": "13"}], ids=["replaced", "in place"])
def test_a_file_size_limit_fails_the_update_before_it_writes(fault_env, run_python, path, faults):
    before = path.read_bytes()
    limit = len(before) + 100
    result = run_python(f"""
        import resource, signal
        from brintel_config import ReaderConfig
        signal.signal(signal.SIGXFSZ, signal.SIG_IGN)
        resource.setrlimit(resource.RLIMIT_FSIZE, ({limit}, {limit}))
        try:
            ReaderConfig(model_name="m", device="cpu").add_to_manifest_yaml({str(path)!r}, "r1")
        except Exception as e:
            print(type(e).__name__, e.args)
    """, env=fault_env(**faults))
    assert result.returncode == 0, result.stderr
    assert result.stdout.strip() == "Exception ('Error Writing to file: File too large (os error 27)',)"
    assert path.read_bytes() == before
    assert os.listdir(path.parent) == [path.name]


def test_concurrent_updates_all_land(run_python, path):
    code = f"""
        import sys
        from multiprocessing import get_context
        Process = get_context("fork").Process  # 3.14 defaults to forkserver, which cannot run -c code
        from brintel_config import ReaderConfig

        def add(worker):
            for i in range(50):
                ReaderConfig(model_name=f"m{{worker}}-{{i}}", device="cpu").add_to_manifest_yaml(
                    {str(path)!r}, f"w{{worker}}-{{i}}")

        workers = [Process(target=add, args=(w,)) for w in range(4)]
        for w in workers: w.start()
        for w in workers: w.join()
        sys.exit(max(w.exitcode for w in workers))
    """
    result = run_python(code)
    assert result.returncode == 0, result.stderr
    for worker in range(4):
        for i in range(50):
            assert read_brintel_readers_config(str(path), f"w{worker}-{i}").model_name == f"m{worker}-{i}"
    assert os.listdir(path.parent) == [path.name]


def test_readers_never_see_a_partial_manifest(run_python, path):
    llama().add_to_manifest_yaml(str(path), "r1")
    code = f"""
        from multiprocessing import get_context
        Process = get_context("fork").Process  # 3.14 defaults to forkserver, which cannot run -c code
        from brintel_config import ReaderConfig, read_brintel_readers_config

        def update():
            for i in range(150):
                ReaderConfig(model_name="m", device="cpu").add_to_manifest_yaml({str(path)!r}, f"x{{i}}")

        writer = Process(target=update)
        writer.start()
        reads = 0
        while writer.is_alive() or reads == 0:
            assert read_brintel_readers_config({str(path)!r}, "r1").model_name == "llama"
            reads += 1
        writer.join()
        assert writer.exitcode == 0
        print(reads)
    """
    result = run_python(code)
    assert result.returncode == 0, result.stderr
    assert int(result.stdout) > 0


def test_readers_are_written_in_id_order(path):
    for reader_id in ["c", "a", "B", "b"]:
        ReaderConfig(model_name=reader_id, device="cpu").add_to_manifest_yaml(str(path), reader_id)
    ids = [line.strip().rstrip(":") for line in path.read_text().splitlines() if line.startswith("    ") and not line.startswith("     ")]
    assert ids[-4:] == ["B", "a", "b", "c"]


# Faults an operator meets: other users on the machine, failing locks, dead
# processes, things at the path that are not files, Ctrl-C.

def test_temporary_file_is_private_from_its_creation(fault_env, run_python, path, tmp_path):
    path.chmod(0o600)
    log = tmp_path.parent / f"{tmp_path.name}-created.log"
    result = run_python(f"""
        from brintel_config import ReaderConfig
        ReaderConfig(model_name="m", device="cpu", access_token="secret").add_to_manifest_yaml({str(path)!r}, "r1")
    """, env=fault_env(BRINTEL_LOG_CREATE=str(log)))
    assert result.returncode == 0, result.stderr
    created = [line.split(" ", 1) for line in log.read_text().splitlines() if str(tmp_path) in line]
    assert created and all(int(mode, 8) & 0o077 == 0 for mode, _ in created), created
    assert stat.S_IMODE(path.stat().st_mode) == 0o600


@pytest.mark.parametrize("target_mode, kept", [(0o644, 0o644), (0o600, 0o600), (0o640, 0o640), (0o666, 0o644)])
def test_symlink_is_replaced_by_a_file_no_wider_than_its_target(tmp_path, path, target_mode, kept):
    link = tmp_path / "link.yaml"
    link.symlink_to(path)
    path.chmod(target_mode)
    before = path.read_bytes()
    umask = os.umask(0o022)
    try:
        llama().add_to_manifest_yaml(str(link), "r1")
    finally:
        os.umask(umask)
    assert not link.is_symlink()
    assert stat.S_IMODE(link.stat().st_mode) == kept
    assert link.read_text() == normal_update_text()
    assert path.read_bytes() == before


def test_a_hard_link_keeps_the_old_text(tmp_path, path):
    other = tmp_path / "other.yaml"
    os.link(path, other)
    llama().add_to_manifest_yaml(str(path), "r1")
    assert (path.read_text(), other.read_text()) == (normal_update_text(), manifest())


def test_update_that_cannot_lock_fails_and_leaves_the_manifest(fault_env, run_python, path):
    before = path.read_bytes()
    result = run_python(f"""
        from brintel_config import ReaderConfig
        try:
            ReaderConfig(model_name="m", device="cpu").add_to_manifest_yaml({str(path)!r}, "r1")
        except Exception as e:
            print(e)
    """, env=fault_env(BRINTEL_FAIL_FLOCK="37"))
    assert result.stdout == "Error Writing to file: No locks available (os error 37)\n", result.stderr
    assert path.read_bytes() == before


def stored_ids(path):
    return set(re.findall(r"^    (\S+):$", path.read_text(), re.M))


# Each worker prints the ids whose update returned normally.
CONCURRENT_UPDATES = """
    import os, sys
    from brintel_config import ReaderConfig

    def work(worker, count):
        for i in range(count):
            try:
                ReaderConfig(model_name="m", device="cpu").add_to_manifest_yaml(PATH, f"w{worker}-{i}")
                os.write(1, f"w{worker}-{i}\\n".encode())
            except Exception as e:
                assert str(e).startswith("Error Writing to file: "), e

    children = []
    for worker in range(WORKERS):
        pid = os.fork()
        if pid == 0:
            try:
                work(worker, COUNT)
            finally:
                os._exit(0)
        children.append(pid)
    sys.exit(max(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]) for pid in children))
"""


def concurrent_updates(path, workers, count, prelude=""):
    return prelude + textwrap.dedent(CONCURRENT_UPDATES).replace("PATH", repr(str(path))).replace(
        "WORKERS", str(workers)).replace("COUNT", str(count))


def test_every_update_that_returns_has_landed_when_locking_fails_at_times(fault_env, run_python, path):
    result = run_python(concurrent_updates(path, 8, 100),
                        env=fault_env(BRINTEL_FAIL_FLOCK="37", BRINTEL_FAIL_FLOCK_EVERY="2"))
    assert result.returncode == 0, result.stderr
    returned = set(result.stdout.split())
    assert 0 < len(returned) < 800
    assert stored_ids(path) - {"r1"} == returned


@pytest.fixture
def nobodys_manifest(shared_directory):
    """A manifest owned by the user nobody, in a directory of root's."""
    target = shared_directory / "manifest.yaml"
    target.write_text(manifest())
    os.chown(target, NOBODY, NOBODY)
    return target


@root_only
def test_updates_in_a_directory_that_cannot_be_listed_are_serialised(run_python, nobodys_manifest):
    target = nobodys_manifest
    target.parent.chmod(0o333)
    result = run_python(concurrent_updates(target, 4, 25, prelude=AS_NOBODY))
    target.parent.chmod(0o755)
    assert result.returncode == 0, result.stderr
    assert len(stored_ids(target) - {"r1"}) == 100 == len(result.stdout.split())


@root_only
def test_directory_that_takes_no_new_files_gets_the_manifest_rewritten_in_place(run_python, nobodys_manifest):
    target = nobodys_manifest
    target.chmod(0o640)
    inode = target.stat().st_ino
    result = run_python(AS_NOBODY + f"llama().add_to_manifest_yaml({str(target)!r}, 'r1')\n")
    assert result.returncode == 0, result.stderr
    assert target.read_text() == normal_update_text()
    assert (target.stat().st_ino, stat.S_IMODE(target.stat().st_mode)) == (inode, 0o640)
    assert os.listdir(target.parent) == ["manifest.yaml"]


# EBUSY, EXDEV and a sticky directory's EPERM on renaming; EACCES, EPERM, a
# read-only root's EROFS and ENAMETOOLONG on creating the temporary file.
@pytest.mark.parametrize("fault", [{"BRINTEL_FAIL_RENAME": "16"}, {"BRINTEL_FAIL_RENAME": "18"},
                                   {"BRINTEL_FAIL_RENAME": "1"}, {"BRINTEL_FAIL_CREATE": "13"},
                                   {"BRINTEL_FAIL_CREATE": "1"}, {"BRINTEL_FAIL_CREATE": "30"},
                                   {"BRINTEL_FAIL_CREATE": "36"}])
def test_refused_replacement_falls_back_to_rewriting_in_place(fault_env, run_python, path, fault):
    inode = path.stat().st_ino
    result = run_python(IMPORT_LLAMA + f"llama().add_to_manifest_yaml({str(path)!r}, 'r1')\n",
                        env=fault_env(**fault))
    assert result.returncode == 0, result.stderr
    assert path.read_text() == normal_update_text()
    assert path.stat().st_ino == inode
    assert os.listdir(path.parent) == [path.name]


def test_leftovers_of_crashed_updates_are_removed(path):
    uuid = "0123abcd-4567-89ab-cdef-0123456789ab"
    stale = [f".manifest.yaml.{uuid}.tmp", ".manifest.yaml.a1b2c3d4-0000-4000-8000-000000000000.tmp"]
    kept = [f".other.yaml.{uuid}.tmp", ".manifest.yaml.not-a-uuid.tmp", f".manifest.yaml.{uuid.upper()}.tmp",
            f"manifest.yaml.{uuid}.tmp", f".manifest.yaml.{uuid}.tmp.bak"]
    for name in stale + kept:
        (path.parent / name).write_text("access_token: secret\n")
    llama().add_to_manifest_yaml(str(path), "r1")
    assert sorted(os.listdir(path.parent)) == sorted(kept + [path.name])


def test_things_that_are_not_files_are_refused_without_blocking(run_python, tmp_path):
    fifo, socket_path = tmp_path / "fifo", tmp_path / "socket"
    os.mkfifo(fifo)
    targets = [str(fifo), str(socket_path), "/dev/zero", "/dev/null", str(tmp_path)]
    result = run_python(f"""
        import socket
        from brintel_config import ReaderConfig, read_brintel_readers_config
        socket.socket(socket.AF_UNIX).bind({str(socket_path)!r})
        for target in {targets!r}:
            for call in (lambda: ReaderConfig(model_name="m", device="cpu").add_to_manifest_yaml(target, "r1"),
                         lambda: read_brintel_readers_config(target, "r1")):
                try:
                    call()
                except Exception as e:
                    print(e)
    """, timeout=60)
    assert result.returncode == 0, result.stderr
    fifo_read = "Error Error Serializing/Deserializing:: EOF while parsing a value"
    expected = [f"File Not Found on path: {t}" for t in targets for _ in range(2)]
    expected[1] = fifo_read
    assert result.stdout.splitlines() == expected


def test_a_manifest_can_still_be_read_from_a_pipe(run_python):
    result = run_python("""
        from brintel_config import read_brintel_readers_config
        print(read_brintel_readers_config("/dev/stdin", "r1").model_name)
    """, input=manifest("r1:\n  model_name: piped\n  device: cpu\n  consumer_group: g\n"))
    assert result.stdout == "piped\n", result.stderr


# A suite run as a background job hands SIGINT down ignored.
@pytest.mark.parametrize("inherited", [signal.SIG_DFL, signal.SIG_IGN])
def test_waiting_for_the_lock_lets_threads_run_and_ctrl_c_through(path, inherited):
    import fcntl
    before = path.read_bytes()
    directory = os.open(path.parent, os.O_RDONLY)
    with open(path) as held:
        # The directory too: an update serialised on it must not pass either.
        fcntl.flock(held, fcntl.LOCK_EX)
        fcntl.flock(directory, fcntl.LOCK_EX)
        try:
            out = interrupt_while_blocked(f"""
                from brintel_config import ReaderConfig
                try:
                    ReaderConfig(model_name="m", device="cpu").add_to_manifest_yaml({str(path)!r}, "r1")
                except KeyboardInterrupt:
                    print("interrupted", ticks)
            """, preexec_fn=lambda: signal.signal(signal.SIGINT, inherited))
        finally:
            os.close(directory)
    word, ticks = out.split()
    assert word == "interrupted" and int(ticks) >= 10
    assert path.read_bytes() == before
