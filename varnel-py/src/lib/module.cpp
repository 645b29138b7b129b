// The module's entry point. It refuses a second interpreter, builds the module
// once per process and adds the Varnel class; nothing else happens at import.
#include <atomic>
#include <cstdint>

#include "errors.hpp"
#include "interrupt.hpp"
#include "varnel_object.hpp"

namespace varnel::py {
namespace {

// The ID of the interpreter that first imported the module; -1 until then.
std::atomic<std::int64_t> g_interpreter_id{-1};
// The module object, built once and kept for the life of the process.
PyObject* g_module = nullptr;

PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT,
    "varnel",
    "",
    // No per-module state. A size of 0 (not -1) makes every interpreter that
    // imports the module call PyInit_varnel, so a second one is refused there.
    0,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
    nullptr,
};

// The interrupt check of the core's long loops: runs on the calling thread,
// which holds the interpreter lock, and asks the interpreter to run the
// handlers of pending signals. True when a handler raised (Ctrl-C raises
// KeyboardInterrupt); the error stays set for the failure translator.
bool pending_signal_raised() { return PyErr_CheckSignals() != 0; }

PyObject* init_module() {
  return guard([]() -> PyObject* {
    PyInterpreterState* interp = PyInterpreterState_Get();
    const std::int64_t id = PyInterpreterState_GetID(interp);
    if (id == -1 && PyErr_Occurred()) throw ErrorAlreadySet{};
    std::int64_t expected = -1;
    if (!g_interpreter_id.compare_exchange_strong(expected, id) && expected != id) {
      raise(PyExc_ImportError,
            "varnel does not support sub-interpreters: it can be imported only in the "
            "interpreter that imported it first");
    }
    if (g_module != nullptr) return Py_NewRef(g_module);
    PyRef module = PyRef::checked(PyModule_Create(&g_module_def));
    PyObject* type = create_varnel_type();
    if (type == nullptr) throw ErrorAlreadySet{};
    check_status(PyModule_AddObjectRef(module.get(), "Varnel", type));
    g_module = Py_NewRef(module.get());
    interrupt::set_check(&pending_signal_raised);
    return module.release();
  });
}

}  // namespace
}  // namespace varnel::py

extern "C" __attribute__((visibility("default"))) PyObject* PyInit_varnel() {
  return varnel::py::init_module();
}
