"""Many threads at once: what lets a free-threaded interpreter run the module
without its GIL. Instances never change after construction, the keyword
dictionary is read under its lock, updates of one manifest take turns, and
the start-up runs once. With a GIL the same tests check that the waits that
let other threads run keep every result intact."""

import shutil
import sysconfig
import threading
from pathlib import Path

import brintel_config

THREADS = 8
ROUNDS = 40
EXAMPLE = Path(__file__).resolve().parent.parent / "examples" / "manifest.yaml"
free_threaded = bool(sysconfig.get_config_var("Py_GIL_DISABLED"))


def run_together(work, count=THREADS):
    """Runs work(index) on `count` threads released at once; re-raises the
    first failure of any of them."""
    start = threading.Barrier(count)
    failures = []

    def body(index):
        try:
            start.wait()
            work(index)
        except BaseException as failure:  # noqa: BLE001 - handed to the main thread
            failures.append(failure)

    threads = [threading.Thread(target=body, args=(i,)) for i in range(count)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    if failures:
        raise failures[0]


def settings_of(index, round_):
    return dict(model_name=f"m{index}", device="cuda", consumer_group=f"g{index}", log_level="info",
                max_batch_size=index * 1000 + round_, tensor_parallel=2)


def test_reading_building_exporting_and_updating_at_once(tmp_path):
    manifest = tmp_path / "manifest.yaml"
    shutil.copy(EXAMPLE, manifest)
    shared = brintel_config.read_brintel_readers_config(str(manifest), "r1")
    shared_export = shared.dict_without_optionals()

    def work(index):
        own = f"t{index}"
        for round_ in range(ROUNDS):
            settings = settings_of(index, round_)
            built = brintel_config.ReaderConfig(**settings)
            built.validate()
            assert built.dict_without_optionals() == settings
            assert shared.dict_without_optionals() == shared_export
            assert (shared.model_name, shared.max_batch_size) == ("llama", 32)
            built.add_to_manifest_yaml(str(manifest), own)
            # Other threads store their own readers meanwhile; this one's
            # last store is what the file holds under its id.
            assert brintel_config.read_brintel_readers_config(str(manifest), own).dict_without_optionals() == settings
            assert brintel_config.read_brintel_readers_config(str(manifest), "r1").dict_without_optionals() == shared_export

    run_together(work)
    for index in range(THREADS):
        stored = brintel_config.read_brintel_readers_config(str(manifest), f"t{index}")
        assert stored.dict_without_optionals() == settings_of(index, ROUNDS - 1)


def test_one_instance_read_by_many_threads():
    reader = brintel_config.ReaderConfig(**settings_of(3, 7))
    expected = reader.dict_without_optionals()

    def work(index):
        for round_ in range(ROUNDS * 25):
            assert reader.dict_without_optionals() == expected
            assert reader.max_batch_size == 3007
            # The instance's attribute dictionary is the interpreter's own,
            # made on first use by whichever thread comes first.
            setattr(reader, f"note{index}", round_)
            assert getattr(reader, f"note{index}") == round_

    run_together(work)
    assert {f"note{i}" for i in range(THREADS)} <= set(vars(reader))


def test_keywords_read_while_another_thread_changes_them():
    """ReaderConfig(**d) can hand the caller's own dictionary in; each field
    of the result is one the dictionary held, never a torn value."""
    keywords = settings_of(1, 1)
    sizes = [1, 2, 3, 4]
    stop = threading.Event()

    def change():
        step = 0
        while not stop.is_set():
            keywords["max_batch_size"] = sizes[step % len(sizes)]
            if step % 3 == 0:
                keywords.pop("log_level", None)
            else:
                keywords["log_level"] = "debug"
            step += 1

    changer = threading.Thread(target=change)
    changer.start()
    try:
        def work(_):
            for _ in range(ROUNDS * 25):
                built = brintel_config.ReaderConfig(**keywords)
                assert built.max_batch_size in sizes + [1001]
                assert built.log_level in ("info", "debug", None)
                assert (built.model_name, built.device) == ("m1", "cuda")

        run_together(work, THREADS - 1)
    finally:
        stop.set()
        changer.join()


def test_modules_start_once_when_imported_by_many_threads_at_once(run_python):
    done = run_python(f"""
        import sys, threading
        start = threading.Barrier({THREADS})
        seen = []
        def work(index):
            start.wait()
            name = "brintel_config" if index % 2 else "_brintel_config_command"
            module = __import__(name)
            seen.append((name, id(module), id(getattr(module, "ReaderConfig", None))))
        threads = [threading.Thread(target=work, args=(i,)) for i in range({THREADS})]
        for t in threads: t.start()
        for t in threads: t.join()
        assert len(seen) == {THREADS} and len(set(seen)) == 2, seen
        import brintel_config
        assert brintel_config.ReaderConfig(model_name="m", device="cpu").model_name == "m"
        print(getattr(sys, "_is_gil_enabled", lambda: True)())
    """)
    assert (done.returncode, done.stderr) == (0, "")
    # A free-threaded interpreter keeps running without its GIL after the
    # import (it would turn it on, with a warning, for a module that does
    # not declare itself safe).
    assert done.stdout.strip() == str(not free_threaded)

