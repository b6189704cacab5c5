// The module behind the brintel-config console script: main() runs the
// command inside the interpreter's process, on sys.argv, as the program it
// stands for would run, and returns its exit status.
#include "module/entry.hpp"
#include "cli/main.hpp"
#include "module/shared_library.h"

#include <signal.h>

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace brintel::py {
namespace {

// sys.argv after the program name, as the bytes the command line had.
std::vector<std::string> command_line() {
    // A reference of our own: another thread may replace sys.argv meanwhile.
    const Ref sys = checked(PyImport_ImportModule("sys"));
    const Ref argv = checked(PyObject_GetAttrString(sys.get(), "argv"));
    const Py_ssize_t count = PySequence_Size(argv.get());
    if (count < 0) throw InternalFailure::from_pending_exception();
    std::vector<std::string> arguments;
    for (Py_ssize_t i = 1; i < count; ++i) {
        const Ref item = checked(PySequence_GetItem(argv.get(), i));
        const Ref bytes = checked(PyUnicode_EncodeFSDefault(item.get()));
        char* data = nullptr;
        Py_ssize_t size = 0;
        checked(PyBytes_AsStringAndSize(bytes.get(), &data, &size));
        arguments.emplace_back(data, static_cast<std::size_t>(size));
    }
    return arguments;
}

// The interpreter ignores SIGPIPE and turns SIGINT into an exception that
// nothing here would look at. A program of its own ends quietly when
// `| head` stops reading and at once on Ctrl-C, and so does the command
// while it runs; the interpreter gets its own handling back afterwards.
class DefaultSignals {
public:
    DefaultSignals() {
        struct sigaction default_action {};
        default_action.sa_handler = SIG_DFL;
        sigemptyset(&default_action.sa_mask);
        for (std::size_t i = 0; i < signals.size(); ++i) ::sigaction(signals[i], &default_action, &saved_[i]);
    }
    ~DefaultSignals() {
        for (std::size_t i = 0; i < signals.size(); ++i) ::sigaction(signals[i], &saved_[i], nullptr);
    }
    DefaultSignals(const DefaultSignals&) = delete;
    DefaultSignals& operator=(const DefaultSignals&) = delete;

private:
    static constexpr std::array<int, 2> signals = {SIGPIPE, SIGINT};
    std::array<struct sigaction, signals.size()> saved_{};
};

PyObject* command_entry(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* {
        const std::vector<std::string> arguments = command_line();
        const std::vector<std::string_view> views(arguments.begin(), arguments.end());
        const int status = [&] {
            const DefaultSignals while_running;
            return cli::command_main(views);
        }();
        return checked(PyLong_FromLong(status)).release();
    });
}

PyMethodDef command_methods[] = {
    {"main", command_entry, METH_NOARGS,
     "main($module)\n--\n\nRuns brintel-config on sys.argv and returns its exit status."},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef command_module = {
    PyModuleDef_HEAD_INIT, "_brintel_config_command", "The entry of the brintel-config command.", 0,
    command_methods,       nullptr,  nullptr, nullptr, nullptr,
};

PyObject* initialise_command_module() {
    const StartupLock starting;
    if (!init_internal_error()) return nullptr;
    Ref module = Ref::steal(PyModule_Create(&command_module));
    if (module) declare_free_threading_safe(module.get());
    return module.release();
}

}  // namespace
}  // namespace brintel::py

PyObject* brintel_config_command_init() { return brintel::py::guarded(brintel::py::initialise_command_module); }
