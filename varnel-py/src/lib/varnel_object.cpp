#include "varnel_object.hpp"

#include <new>

#include "args.hpp"
#include "errors.hpp"
#include "methods.hpp"

namespace varnel::py {

namespace {

// The Varnel type, created once by the module's initialisation and kept for
// the life of the process.
PyObject* g_varnel_type = nullptr;

constexpr const char* kConstructorParams[] = {"repr"};

PyObject* varnel_new(PyTypeObject*, PyObject* args, PyObject* kwargs) {
  return guard([&] {
    PyObject* raw[1] = {};
    bind_tuple_dict(Signature{"Varnel.__new__()", kConstructorParams}, args, kwargs, raw);
    BoolSequence bits = convert_argument<BoolSequence>(raw[0], "repr");
    return new_varnel(FValue(std::move(bits.words), bits.length)).release();
  });
}

void varnel_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  VarnelObject* obj = as_varnel(self);
  obj->data.~VarnelData();
  obj->borrow.~BorrowFlag();
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_fn(self);
  Py_DECREF(type);
}

}  // namespace

PyObject* create_varnel_type() {
  if (g_varnel_type != nullptr) return g_varnel_type;
  static PyType_Slot slots[] = {
      {Py_tp_new, reinterpret_cast<void*>(varnel_new)},
      {Py_tp_dealloc, reinterpret_cast<void*>(varnel_dealloc)},
      {Py_tp_methods, varnel_methods()},
      {Py_tp_doc, const_cast<char*>("Varnel(repr)\n--\n\n")},
      {0, nullptr},
  };
  static PyType_Spec type_spec = {
      "builtins.Varnel", static_cast<int>(sizeof(VarnelObject)), 0, Py_TPFLAGS_DEFAULT, slots,
  };
  PyRef type = PyRef::checked(PyType_FromSpec(&type_spec));
  g_varnel_type = type.release();
  return g_varnel_type;
}

PyRef new_varnel(FValue table) {
  auto* type = reinterpret_cast<PyTypeObject*>(g_varnel_type);
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyRef obj = PyRef::checked(alloc(type, 0));
  VarnelObject* v = as_varnel(obj.get());
  new (&v->borrow) BorrowFlag(0);
  new (&v->data) VarnelData{std::move(table)};
  return obj;
}

}  // namespace varnel::py
