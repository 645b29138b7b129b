#include "result_classes.hpp"

#include <new>
#include <string>

#include "borrow.hpp"
#include "errors.hpp"

namespace varnel::py {

namespace {

template <class Record>
struct RecordObject {
  PyObject ob_base;
  BorrowFlag borrow;
  Record record;
};

template <class Record>
RecordObject<Record>* as_record(PyObject* obj) {
  return reinterpret_cast<RecordObject<Record>*>(obj);
}

PyRef index_list(const std::vector<std::uint64_t>& v) {
  PyRef list = PyRef::checked(PyList_New(static_cast<Py_ssize_t>(v.size())));
  for (std::size_t i = 0; i < v.size(); ++i) {
    PyObject* item = PyLong_FromUnsignedLongLong(v[i]);
    if (item == nullptr) throw ErrorAlreadySet{};
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), item);
  }
  return list;
}

// A getter that reads one field under a shared borrow; every read of a list
// field builds a new list.
template <class Record, auto Read>
PyObject* getter(PyObject* self, void*) {
  return guard([&] {
    RecordObject<Record>* obj = as_record<Record>(self);
    SharedBorrow borrow(obj->borrow);
    return Read(obj->record).release();
  });
}

template <class Record>
PyRef read_set1(const Record& r) {
  return index_list(r.set1);
}
template <class Record>
PyRef read_set2(const Record& r) {
  return index_list(r.set2);
}
PyRef read_entropy(const EntropySet& r) { return to_py(r.entropy); }
PyRef read_entanglement(const EntanglementSet& r) { return to_py(r.entanglement); }

template <class Record>
void record_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  RecordObject<Record>* obj = as_record<Record>(self);
  obj->record.~Record();
  obj->borrow.~BorrowFlag();
  auto free_fn = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_fn(self);
  Py_DECREF(type);
}

template <class Record>
struct ClassInfo;

template <>
struct ClassInfo<EntropySet> {
  static constexpr const char* name = "builtins.EntropySets";
  static constexpr const char* no_constructor = "No constructor defined for EntropySets";
  static constexpr const char* value_name = "entropy";
  static constexpr auto read_value = &read_entropy;
};

template <>
struct ClassInfo<EntanglementSet> {
  static constexpr const char* name = "builtins.EntanglementSet";
  static constexpr const char* no_constructor = "No constructor defined for EntanglementSet";
  static constexpr const char* value_name = "entanglement";
  static constexpr auto read_value = &read_entanglement;
};

template <class Record>
PyObject* record_new(PyTypeObject*, PyObject*, PyObject*) {
  PyErr_SetString(PyExc_TypeError, ClassInfo<Record>::no_constructor);
  return nullptr;
}

// The type object of a result class, created on first use and kept for the
// life of the process (the interpreter lock serialises the check and store).
template <class Record>
PyObject* record_type() {
  static PyObject* type = nullptr;
  if (type != nullptr) return type;
  using Info = ClassInfo<Record>;
  static PyGetSetDef getset[] = {
      {Info::value_name, getter<Record, Info::read_value>, nullptr, "", nullptr},
      {"set1", getter<Record, &read_set1<Record>>, nullptr, "", nullptr},
      {"set2", getter<Record, &read_set2<Record>>, nullptr, "", nullptr},
      {nullptr, nullptr, nullptr, nullptr, nullptr},
  };
  static PyType_Slot slots[] = {
      {Py_tp_new, reinterpret_cast<void*>(record_new<Record>)},
      {Py_tp_dealloc, reinterpret_cast<void*>(record_dealloc<Record>)},
      {Py_tp_getset, getset},
      {0, nullptr},
  };
  static PyType_Spec type_spec = {
      Info::name, static_cast<int>(sizeof(RecordObject<Record>)), 0, Py_TPFLAGS_DEFAULT, slots,
  };
  type = PyRef::checked(PyType_FromSpec(&type_spec)).release();
  return type;
}

// Moves each record into a new object of its class, in order.
template <class Record>
PyRef records_to_list(std::vector<Record>&& records) {
  auto* type = reinterpret_cast<PyTypeObject*>(record_type<Record>());
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyRef list = PyRef::checked(PyList_New(static_cast<Py_ssize_t>(records.size())));
  for (std::size_t i = 0; i < records.size(); ++i) {
    PyRef obj = PyRef::checked(alloc(type, 0));
    RecordObject<Record>* r = as_record<Record>(obj.get());
    new (&r->borrow) BorrowFlag(0);
    new (&r->record) Record(std::move(records[i]));
    PyList_SetItem(list.get(), static_cast<Py_ssize_t>(i), obj.release());
  }
  return list;
}

}  // namespace

PyRef ToPy<std::vector<EntropySet>>::convert(std::vector<EntropySet>&& records) {
  return records_to_list(std::move(records));
}

PyRef ToPy<std::vector<EntanglementSet>>::convert(std::vector<EntanglementSet>&& records) {
  return records_to_list(std::move(records));
}

}  // namespace varnel::py
