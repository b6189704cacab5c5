"""The update on the hosts where it is deployed: sudo scripts and other
owners, ACLs, NFS, read-only roots and shared directories, huge files and
pipes, pre-forked workers, Ctrl-C, and the syncs that make it durable."""

import fcntl
import os
import pathlib
import re
import shlex
import shutil
import signal
import stat
import subprocess
import sys
import textwrap
import time

import pytest

from brintel_config import read_brintel_readers_config

from conftest import sanitized
from manifests import S, manifest
from updates import (AS_NOBODY, IMPORT_LLAMA, NOBODY, interrupt_while_blocked, llama, normal_update_text,
                     root_only)

LIMIT = 64 << 20
TOO_LARGE = S + "manifest larger than 64 MiB"


@pytest.fixture
def path(tmp_path):
    target = tmp_path / "manifest.yaml"
    target.write_text(manifest())
    return target


def update_code(target) -> str:
    """A snippet that stores llama() as r1 and prints "stored" or the error."""
    return IMPORT_LLAMA + textwrap.dedent(f"""
        try:
            llama().add_to_manifest_yaml({str(target)!r}, "r1")
            print("stored")
        except Exception as e:
            print(e)
    """)


def owner_and_mode(target):
    info = target.stat()
    return info.st_uid, info.st_gid, stat.S_IMODE(info.st_mode)


def current_umask() -> int:
    mask = os.umask(0o022)
    os.umask(mask)
    return mask


def descriptors_on(pid, target) -> list:
    fds = pathlib.Path(f"/proc/{pid}/fd")
    return [fd.name for fd in fds.iterdir() if os.path.realpath(fd) == str(target)]


# 1. Owner, group, ACL and extended attributes survive a replacement.

@root_only
@pytest.mark.parametrize("through_link", [False, True], ids=["file", "symbolic link"])
def test_root_keeps_the_services_owner_and_mode(run_python, shared_directory, through_link):
    target = shared_directory / "manifest.yaml"
    target.write_text(manifest())
    target.chmod(0o640)
    os.chown(target, NOBODY, NOBODY)
    inode = target.stat().st_ino
    if through_link:
        target.rename(shared_directory / "real.yaml")
        target.symlink_to("real.yaml")
    llama().add_to_manifest_yaml(str(target), "r1")
    assert not target.is_symlink() and target.stat().st_ino != inode, "replaced, not rewritten"
    # A new file in a link's place is never wider than a new file would be.
    assert owner_and_mode(target) == (NOBODY, NOBODY, 0o640 & ~(current_umask() if through_link else 0))
    assert target.read_text() == normal_update_text()
    result = run_python(AS_NOBODY + f"""
print(brintel_config.read_brintel_readers_config({str(target)!r}, "r1").model_name)
brintel_config.ReaderConfig(model_name="m", device="cpu").add_to_manifest_yaml({str(target)!r}, "r2")
print(brintel_config.read_brintel_readers_config({str(target)!r}, "r2").model_name)
""")
    assert result.stdout == "llama\nm\n", result.stderr


acl_tools = pytest.mark.skipif(shutil.which("setfacl") is None or shutil.which("getfacl") is None,
                               reason="needs setfacl and getfacl (Debian's acl package)")


def access_rules(target) -> tuple:
    acl = subprocess.run(["getfacl", "--omit-header", "--numeric", str(target)],
                         capture_output=True, text=True, check=True).stdout
    xattrs = {name: os.getxattr(target, name) for name in os.listxattr(target) if name.startswith("user.")}
    return acl, xattrs, owner_and_mode(target)


@root_only
@acl_tools
@pytest.mark.parametrize("updater", ["root, the owner", "nobody, the owner"])
def test_acl_and_extended_attributes_are_kept(run_python, shared_directory, updater):
    target = shared_directory / "manifest.yaml"
    target.write_text(manifest())
    owner = 0 if updater.startswith("root") else NOBODY
    os.chown(shared_directory, owner, owner)
    os.chown(target, owner, owner)
    target.chmod(0o640)
    # The owning group may not read; the user daemon may.
    subprocess.run(["setfacl", "-m", "u:daemon:r,g::-,m::r", str(target)], check=True)
    os.setxattr(target, "user.deployed-by", b"pipeline 42")
    before, inode = access_rules(target), target.stat().st_ino
    assert "user:1:r--" in before[0] and before[2][2] == 0o640
    if owner == 0:
        llama().add_to_manifest_yaml(str(target), "r1")
    else:
        result = run_python(AS_NOBODY + update_code(target))
        assert result.stdout == "stored\n", result.stderr
    assert target.stat().st_ino != inode, "replaced, not rewritten"
    assert access_rules(target) == before
    assert target.read_text() == normal_update_text()


@acl_tools
@pytest.mark.parametrize("own_acl", [None, "u:1:r,m::r"], ids=["no ACL", "an ACL of its own"])
def test_a_directorys_default_acl_does_not_reach_the_manifest(path, own_acl):
    path.chmod(0o640)
    if own_acl:
        subprocess.run(["setfacl", "-m", own_acl, str(path)], check=True)
    subprocess.run(["setfacl", "-d", "-m", "u:2:rw", str(path.parent)], check=True)
    before, inode = access_rules(path), path.stat().st_ino
    llama().add_to_manifest_yaml(str(path), "r1")
    assert path.stat().st_ino != inode, "replaced, not rewritten"
    assert access_rules(path) == before


@root_only
@pytest.mark.parametrize("through_link", [False, True], ids=["file", "symbolic link"])
def test_another_users_file_is_never_taken_over(run_python, shared_directory, through_link):
    # Rewritten in place where it stands at the path; a link to it gives way
    # to the caller's own file, and the file it pointed to is left alone.
    shared_directory.chmod(0o777)
    target = shared_directory / "manifest.yaml"
    real = shared_directory / "real.yaml" if through_link else target
    real.write_text(manifest())
    os.chown(real, 0, NOBODY)
    real.chmod(0o664)
    inode = real.stat().st_ino
    if through_link:
        target.symlink_to("real.yaml")
    result = run_python(AS_NOBODY + update_code(target))
    assert result.stdout == "stored\n", result.stderr
    assert target.read_text() == normal_update_text()
    assert (real.stat().st_ino, owner_and_mode(real)) == (inode, (0, NOBODY, 0o664))
    if through_link:
        assert real.read_text() == manifest()
        assert not target.is_symlink() and target.stat().st_uid == NOBODY
    assert sorted(os.listdir(shared_directory)) == sorted({target.name, real.name})


# 2. NFS: the client turns flock into a byte-range lock, which needs a
# descriptor open for writing. No NFS server here: the shim refuses flock on
# a read-only descriptor as the client does.

@pytest.mark.parametrize("faults, outcome", [
    ({"BRINTEL_FLOCK_NEEDS_WRITE": "1"}, "stored"),
    # A file the caller may not write: locked read-only, and replaced.
    ({"BRINTEL_FAIL_OPEN_WRITE": "13"}, "stored"),
    ({"BRINTEL_FAIL_OPEN_WRITE": "13", "BRINTEL_FLOCK_NEEDS_WRITE": "1"},
     "Error Writing to file: Bad file descriptor (os error 9)"),
])
def test_the_lock_is_taken_on_a_writable_descriptor_where_the_file_allows(
        fault_env, run_python, path, faults, outcome):
    before = path.read_text()
    result = run_python(update_code(path), env=fault_env(**faults))
    assert result.stdout == outcome + "\n", result.stderr
    assert path.read_text() == (normal_update_text() if outcome == "stored" else before)
    assert os.listdir(path.parent) == [path.name]


# 3. Read-only roots and shared directories. The refusals that the shim
# injects are in test_update.py's fallback table; these are the real ones.

# A manifest that was read is never reported as not found when it cannot be stored.
@pytest.mark.parametrize("faults, message", [
    ({"BRINTEL_FAIL_CREATE": "28"}, "No space left on device (os error 28)"),
    ({"BRINTEL_FAIL_CREATE": "13", "BRINTEL_FAIL_OPEN_WRITE": "13"}, "Permission denied (os error 13)"),
    ({"BRINTEL_FAIL_CREATE": "30", "BRINTEL_FAIL_OPEN_WRITE": "30"}, "Read-only file system (os error 30)"),
    ({"BRINTEL_FAIL_RENAME": "1", "BRINTEL_FAIL_OPEN_WRITE": "13"}, "Permission denied (os error 13)"),
])
def test_a_readable_manifest_that_cannot_be_stored_says_why(fault_env, run_python, path, faults, message):
    before = path.read_bytes()
    result = run_python(update_code(path), env=fault_env(**faults))
    assert result.stdout == f"Error Writing to file: {message}\n", result.stderr
    assert path.read_bytes() == before
    assert os.listdir(path.parent) == [path.name]


def can_unshare(*namespaces) -> bool:
    if os.geteuid() != 0 or shutil.which("unshare") is None:
        return False
    return subprocess.run(["unshare", *namespaces, "true"], capture_output=True).returncode == 0


@pytest.mark.skipif(not can_unshare("-m"), reason="needs root and mount namespaces (unshare -m)")
@pytest.mark.parametrize("root_mode, volume_mode, outcome", [
    ("ro", "rw", "stored"),
    ("rw", "ro", "Error Writing to file: Read-only file system (os error 30)"),
    ("ro", "ro", "Error Writing to file: Read-only file system (os error 30)"),
])
def test_container_with_the_manifest_mounted_on_its_own(tmp_path, root_mode, volume_mode, outcome):
    root = tmp_path / "root"
    root.mkdir()
    target, volume = root / "manifest.yaml", tmp_path / "volume.yaml"
    target.write_text("not the manifest\n")
    volume.write_text(manifest())
    q = lambda p: shlex.quote(str(p))  # noqa: E731
    script = f"""
        set -e
        mount --make-rprivate /
        mount --bind {q(root)} {q(root)}
        mount -o remount,{root_mode},bind {q(root)}
        mount --bind {q(volume)} {q(target)}
        mount -o remount,{volume_mode},bind {q(target)}
        {q(sys.executable)} -c {q(update_code(target))}
    """
    result = subprocess.run(["unshare", "-m", "sh", "-c", textwrap.dedent(script)],
                            capture_output=True, text=True, timeout=120)
    assert result.stdout == outcome + "\n", result.stderr
    assert volume.read_text() == (normal_update_text() if outcome == "stored" else manifest())
    assert os.listdir(root) == ["manifest.yaml"] and target.read_text() == "not the manifest\n"


@root_only
def test_sticky_shared_directory(run_python, shared_directory):
    shared_directory.chmod(0o1777)
    target = shared_directory / "manifest.yaml"
    target.write_text(manifest())
    target.chmod(0o666)
    inode = target.stat().st_ino
    result = run_python(AS_NOBODY + update_code(target))
    assert result.stdout == "stored\n", result.stderr
    assert (target.stat().st_ino, owner_and_mode(target)) == (inode, (0, 0, 0o666))
    assert target.read_text() == normal_update_text()


@root_only
@pytest.mark.parametrize("flag", ["a", "i"], ids=["append-only", "immutable"])
def test_a_directory_whose_names_cannot_change_gets_the_manifest_rewritten_in_place(
        fault_env, run_python, path, tmp_path, flag):
    log = tmp_path.parent / f"{tmp_path.name}-created.log"
    inode = path.stat().st_ino
    if shutil.which("chattr") is None:
        pytest.skip("chattr is not installed")
    if subprocess.run(["chattr", f"+{flag}", str(tmp_path)], capture_output=True).returncode != 0:
        pytest.skip(f"the file system has no attribute {flag} (chattr +{flag})")
    try:
        result = run_python(update_code(path) * 2, env=fault_env(BRINTEL_LOG_CREATE=str(log)))
    finally:
        subprocess.run(["chattr", f"-{flag}", str(tmp_path)], check=True)
    assert result.stdout == "stored\n" * 2, result.stderr
    assert (path.read_text(), path.stat().st_ino) == (normal_update_text(), inode)
    assert os.listdir(tmp_path) == [path.name]
    assert not log.exists() or str(tmp_path) not in log.read_text(), "nothing is even tried"


# /proc's links to open files cannot be replaced; neither can a link to one
# (as /dev/stdin is) usefully be.
@pytest.mark.parametrize("spelling", ["/dev/fd/{fd}", "/proc/self/fd/{fd}", "{link}"])
def test_a_link_to_an_open_descriptor_is_stored_through(run_python, path, tmp_path, spelling):
    link = tmp_path / "descriptor.yaml"
    inode = path.stat().st_ino
    result = run_python(IMPORT_LLAMA + textwrap.dedent(f"""
        import os
        fd = os.open({str(path)!r}, os.O_RDWR)
        os.symlink(f"/proc/self/fd/{{fd}}", {str(link)!r})
        llama().add_to_manifest_yaml({spelling!r}.format(fd=fd, link={str(link)!r}), "r1")
        print("stored")
    """))
    assert result.stdout == "stored\n", result.stderr
    assert (path.read_text(), path.stat().st_ino) == (normal_update_text(), inode)
    assert link.is_symlink() and sorted(os.listdir(tmp_path)) == sorted([path.name, link.name])


# A rootless container: the caller's own file, whose group the namespace
# does not map (it shows as 65534, and fchown to it fails with EINVAL).
@pytest.mark.skipif(not can_unshare("-U", "-r"), reason="needs root and user namespaces (unshare -U)")
def test_a_group_the_user_namespace_cannot_map_is_kept_in_place(path):
    os.chown(path, 0, 12345)
    inode = path.stat().st_ino
    result = subprocess.run(["unshare", "-U", "-r", sys.executable, "-c", update_code(path)],
                            capture_output=True, text=True, timeout=120)
    assert result.stdout == "stored\n", result.stderr
    assert path.read_text() == normal_update_text()
    assert (path.stat().st_ino, owner_and_mode(path)[:2]) == (inode, (0, 12345))


def test_path_too_long_for_a_temporary_sibling(tmp_path):
    # The manifest's path fits PATH_MAX; ".<name>.<uuid>.tmp" beside it does not.
    directory = str(tmp_path)
    while len(directory) < 4060:
        directory = os.path.join(directory, "d" * max(1, min(200, 4059 - len(directory))))
    os.makedirs(directory)
    target = pathlib.Path(directory) / "m.yaml"
    target.write_text(manifest())
    inode = target.stat().st_ino
    llama().add_to_manifest_yaml(str(target), "r1")
    assert target.read_text() == normal_update_text()
    assert target.stat().st_ino == inode
    assert read_brintel_readers_config(str(target), "r1").model_name == "llama"


# 4. Bounded reads that cost nothing: a regular file is refused from its size
# (a child with little address space shows that nothing was read), a pipe
# once it has given one byte more than a manifest may hold.

@pytest.mark.parametrize("size, message", [
    (5 << 30, TOO_LARGE),
    (LIMIT + 1, TOO_LARGE),
    (LIMIT, S + "control characters are not allowed"),
])
def test_a_huge_file_is_refused_from_its_size(run_python, path, size, message):
    path.write_bytes(b"")
    os.truncate(path, size)
    result = run_python(f"""
        import resource
        from brintel_config import ReaderConfig, read_brintel_readers_config
        if not {sanitized}:  # ASan's shadow memory alone is beyond any such limit
            # Room for one manifest beyond what the interpreter has mapped
            # already, which a free-threaded one's allocator makes large.
            with open("/proc/self/statm") as f:
                mapped = int(f.read().split()[0]) * resource.getpagesize()
            resource.setrlimit(resource.RLIMIT_AS, (mapped + {LIMIT} + (600 << 20),) * 2)
        for call in (lambda: read_brintel_readers_config({str(path)!r}, "r1"),
                     lambda: ReaderConfig(model_name="m", device="cpu").add_to_manifest_yaml({str(path)!r}, "r1")):
            try:
                call()
            except BaseException as e:
                print(type(e).__name__, e)
    """, timeout=120)
    assert result.stdout == f"Exception {message}\n" * 2, result.stderr
    assert path.stat().st_size == size


# The bound holds for what an update writes too: it never leaves a manifest
# that reading refuses. Each byte of log_level is one byte of the text.
@pytest.mark.parametrize("over, outcome", [(0, str(LIMIT)), (1, TOO_LARGE)], ids=["at the bound", "over it"])
def test_an_update_never_writes_more_than_a_manifest_may_hold(run_python, path, over, outcome):
    before = path.read_bytes()
    result = run_python(f"""
        import os
        from brintel_config import ReaderConfig
        def store(size):
            ReaderConfig(model_name="m", device="cpu", log_level="x" * size).add_to_manifest_yaml({str(path)!r}, "r1")
        store(1)
        rest = os.path.getsize({str(path)!r}) - 1
        open({str(path)!r}, "wb").write({before!r})
        try:
            store({LIMIT} - rest + {over})
            print(os.path.getsize({str(path)!r}))
        except Exception as e:
            print(e)
    """, timeout=300)
    assert result.stdout == outcome + "\n", result.stderr
    assert over == 0 or path.read_bytes() == before
    assert os.listdir(path.parent) == [path.name]


PEAK_MEMORY = """
def peak():
    status = open("/proc/self/status").read()
    return int(status.split("VmHWM:")[1].split()[0]) << 10
"""


@pytest.mark.parametrize("size, message", [(LIMIT + 1, TOO_LARGE), (LIMIT, S + "EOF while parsing a value")])
def test_a_stream_is_refused_at_the_bound_without_costing_more(run_python, size, message):
    result = run_python(PEAK_MEMORY + textwrap.dedent("""
        from brintel_config import read_brintel_readers_config
        before = peak()
        try:
            read_brintel_readers_config("/dev/stdin", "r1")
        except Exception as e:
            print(e)
        print(peak() - before)
    """), input=b"#" * size, text=False)
    out = result.stdout.decode().splitlines()
    assert out[0] == message, result.stderr
    assert sanitized or int(out[1]) < LIMIT + (16 << 20)


@pytest.fixture
def idle_pipe(tmp_path):
    """A named pipe with a writer that writes nothing."""
    fifo = tmp_path / "fifo"
    os.mkfifo(fifo)
    writer = os.open(fifo, os.O_RDWR)
    yield fifo
    os.close(writer)


def test_reading_a_pipe_lets_threads_run_and_ctrl_c_through(idle_pipe):
    out = interrupt_while_blocked(f"""
        from brintel_config import read_brintel_readers_config
        try:
            read_brintel_readers_config({str(idle_pipe)!r}, "r1")
        except KeyboardInterrupt:
            print("interrupted", ticks)
    """)
    word, ticks = out.split()
    assert word == "interrupted" and int(ticks) >= 10


# 5. Pre-forked workers: a child forked while an update waits for or holds
# the lock holds no descriptor of it, and the lock is free once the update
# is done, while the child lives on.

def waiting_lock_of(pid) -> bool:
    return any(" -> FLOCK " in line and f" {pid} " in line for line in open("/proc/locks"))


def test_a_worker_forked_while_an_update_waits_does_not_hold_the_lock(path):
    code = IMPORT_LLAMA + textwrap.dedent(f"""
        import os, threading, time
        updating = threading.Thread(target=lambda: llama().add_to_manifest_yaml({str(path)!r}, "r1"))
        updating.start()
        while not any(" -> FLOCK " in line and f" {{os.getpid()}} " in line for line in open("/proc/locks")):
            time.sleep(0.01)
        if os.fork() == 0:
            print("forked", os.getpid(), flush=True)
            time.sleep(60)
            os._exit(0)
        updating.join()
        print("updated", flush=True)
    """)
    with open(path) as held:
        fcntl.flock(held, fcntl.LOCK_EX)
        child = subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE, text=True)
        worker = None
        try:
            word, worker = child.stdout.readline().split()
            assert word == "forked"
            assert descriptors_on(worker, path) == []
            fcntl.flock(held, fcntl.LOCK_UN)
            assert child.stdout.readline() == "updated\n"
            # The updated file is a new one; the lock was on this one.
            fcntl.flock(held, fcntl.LOCK_EX | fcntl.LOCK_NB)
            assert os.path.exists(f"/proc/{worker}")
        finally:
            if worker:
                os.kill(int(worker), signal.SIGKILL)
            child.kill()
            child.wait()
    assert path.read_text() == normal_update_text()


def test_a_process_forked_while_an_update_holds_the_lock_does_not_keep_it(fault_env, run_python, path, tmp_path):
    pid_file = tmp_path.parent / f"{tmp_path.name}-forked.pid"
    # Rewritten in place, so that the lock stays on the file at the path;
    # the shim forks at the sync, with the lock held.
    result = run_python(update_code(path), env=fault_env(BRINTEL_FAIL_CREATE="13",
                                                          BRINTEL_FORK_AT_FSYNC=str(pid_file)))
    assert result.stdout == "stored\n", result.stderr
    deadline = time.monotonic() + 10
    while not pid_file.exists() or not pid_file.read_text().endswith("\n"):
        assert time.monotonic() < deadline, "the shim forked no child"
        time.sleep(0.01)
    forked = int(pid_file.read_text())
    try:
        assert descriptors_on(forked, path) == []
        with open(path) as other:
            fcntl.flock(other, fcntl.LOCK_EX | fcntl.LOCK_NB)
    finally:
        os.kill(forked, signal.SIGKILL)


# 6. Honest outcomes.

def test_a_mode_that_cannot_be_set_fails_the_update(fault_env, run_python, path):
    path.chmod(0o640)
    before = path.read_bytes()
    result = run_python(update_code(path), env=fault_env(BRINTEL_FAIL_FCHMOD="1"))
    assert result.stdout == "Error Writing to file: Operation not permitted (os error 1)\n", result.stderr
    assert (path.read_bytes(), stat.S_IMODE(path.stat().st_mode)) == (before, 0o640)
    assert os.listdir(path.parent) == [path.name]


def stopped(pid) -> bool:
    return pathlib.Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()[0] == "T"


def test_manifests_whose_names_share_a_long_start_keep_their_temporary_files_apart(fault_env, tmp_path):
    first, second = (tmp_path / ("m" * 200 + suffix) for suffix in ("-a.yaml", "-b.yaml"))
    for target in (first, second):
        target.write_text(manifest())

    def paused_update_of_second():
        child = subprocess.Popen([sys.executable, "-c", update_code(second)], stdout=subprocess.PIPE, text=True,
                                 env=fault_env(BRINTEL_PAUSE_RENAME="1"))
        deadline = time.monotonic() + 60
        while not stopped(child.pid):
            assert child.poll() is None and time.monotonic() < deadline
            time.sleep(0.01)
        return child

    # A live temporary file of the second survives an update of the first.
    child = paused_update_of_second()
    llama().add_to_manifest_yaml(str(first), "r1")
    child.send_signal(signal.SIGCONT)
    assert child.communicate(timeout=60)[0] == "stored\n"
    assert first.read_text() == second.read_text() == normal_update_text()

    # A stale one is the second's own to sweep.
    child = paused_update_of_second()
    child.kill()
    child.wait()
    (stale,) = set(os.listdir(tmp_path)) - {first.name, second.name}
    assert len(stale) <= 255 and stale.startswith("." + "m" * 128)
    llama().add_to_manifest_yaml(str(first), "r1")
    assert stale in os.listdir(tmp_path)
    llama().add_to_manifest_yaml(str(second), "r1")
    assert sorted(os.listdir(tmp_path)) == sorted([first.name, second.name])


def test_a_failed_sync_in_place_is_reported_with_the_new_text_written(fault_env, run_python, path):
    # As the storing guide says: in place, no old text is kept.
    result = run_python(update_code(path), env=fault_env(BRINTEL_FAIL_CREATE="13", BRINTEL_FAIL_FSYNC="5"))
    assert result.stdout == "Error Writing to file: Input/output error (os error 5)\n", result.stderr
    assert path.read_text() == normal_update_text()


# 7. Ctrl-C is never lost, and never lands a write: a SIGINT that comes
# after the call started, before the wait for the lock blocks or just as the
# lock is taken, stops the update with the manifest untouched.

@pytest.mark.parametrize("when, contended", [("before", True), ("before", False), ("after", False)])
def test_ctrl_c_around_taking_the_lock_stops_the_update_before_it_writes(fault_env, path, when, contended):
    before = path.read_bytes()
    code = IMPORT_LLAMA + textwrap.dedent(f"""
        import signal
        signal.signal(signal.SIGINT, signal.default_int_handler)
        try:
            llama().add_to_manifest_yaml({str(path)!r}, "r1")
            print("stored")
        except KeyboardInterrupt:
            print("interrupted")
    """)
    with open(path) as held:
        if contended:
            fcntl.flock(held, fcntl.LOCK_EX)
        child = subprocess.Popen([sys.executable, "-c", code], stdout=subprocess.PIPE, text=True,
                                 env=fault_env(BRINTEL_SIGNAL_AT_FLOCK=when))
        try:
            out, _ = child.communicate(timeout=20)
        finally:
            child.kill()
            child.wait()
    assert out == "interrupted\n"
    assert path.read_bytes() == before
    assert os.listdir(path.parent) == [path.name]


# 8. Durability: the file is synced before it replaces the manifest, and the
# directory after; a rewrite in place is synced; reads and writes that a
# signal interrupts are repeated.

def file_events(log, tmp_path, manifest_path) -> list:
    names = {str(manifest_path): "manifest", str(tmp_path): "directory"}
    temporary = re.compile(re.escape(str(tmp_path)) + r"/\.manifest\.yaml\.[0-9a-f-]{36}\.tmp")
    events = []
    for line in log.read_text().splitlines():
        event = " ".join([line.split()[0]] + [names.get(p) or ("temporary" if temporary.fullmatch(p) else p)
                                              for p in line.split()[1:]])
        if not events or events[-1] != event:
            events.append(event)
    return events


@pytest.mark.parametrize("faults, events", [
    ({}, ["write temporary", "fsync temporary", "rename temporary manifest", "fsync directory"]),
    ({"BRINTEL_FAIL_CREATE": "13"}, ["write manifest", "fsync manifest"]),
])
def test_what_is_written_is_synced_before_it_counts(fault_env, run_python, path, tmp_path, faults, events):
    log = tmp_path.parent / f"{tmp_path.name}-io.log"
    result = run_python(update_code(path), env=fault_env(BRINTEL_LOG=str(log), BRINTEL_LOG_UNDER=str(tmp_path),
                                                         **faults))
    assert result.stdout == "stored\n", result.stderr
    assert file_events(log, tmp_path, path) == events


@pytest.mark.parametrize("faults", [{}, {"BRINTEL_FAIL_CREATE": "13"}], ids=["replaced", "in place"])
def test_interrupted_reads_and_writes_are_repeated(fault_env, run_python, path, faults):
    result = run_python(update_code(path) + f"""
from brintel_config import read_brintel_readers_config
print(read_brintel_readers_config({str(path)!r}, "r1").model_name)
""", env=fault_env(BRINTEL_INTERRUPT_IO=str(path.parent), **faults))
    assert result.stdout == "stored\nllama\n", result.stderr
    assert path.read_text() == normal_update_text()
