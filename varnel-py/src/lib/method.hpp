// Declaring a method of `Varnel` in one line.
//
//   method<"eval", Receiver::shared, &eval_entry, "i">()
//
// yields the PyMethodDef of a method named "eval" whose text signature is
// "eval($self, i)", which binds its arguments, takes a shared borrow of the
// receiver, converts each argument to the C++ parameter type of `eval_entry`
// in order (TypeErrors named after the parameter), calls it and converts its
// result with ToPy. The receiver kinds:
//   shared     fn(const FValue&, args...)   instance method, shared borrow
//   exclusive  fn(VarnelData&, args...)     instance method, exclusive borrow
//   cls        fn(args...)                  class method, the class is ignored
//   none       fn(args...)                  static method
//   module     fn(args...)                  module-level function ("name()")
// A method without parameters takes the no-argument convention, so the
// interpreter itself rejects arguments.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include "args.hpp"
#include "errors.hpp"
#include "to_py.hpp"
#include "varnel_object.hpp"

namespace varnel::py {

enum class Receiver { shared, exclusive, cls, none, module };

/// A string literal usable as a template argument.
template <std::size_t N>
struct Literal {
  char text[N]{};
  constexpr Literal(const char (&s)[N]) {
    for (std::size_t i = 0; i < N; ++i) text[i] = s[i];
  }
  static constexpr std::size_t length = N - 1;
};

namespace detail {

template <class F>
struct FnTraits;
template <class R, class... A>
struct FnTraits<R (*)(A...)> {
  using Result = R;
  using Args = std::tuple<A...>;
};
template <class R, class... A>
struct FnTraits<R (*)(A...) noexcept> : FnTraits<R (*)(A...)> {};

/// What an argument is converted to before the call: the parameter type
/// itself, or for a view parameter the value that owns (or pins) its data.
template <class P>
struct Stored {
  using type = std::remove_cvref_t<P>;
};
template <>
struct Stored<std::span<const std::uint64_t>> {
  using type = std::vector<std::uint64_t>;
};
template <>
struct Stored<std::span<const std::uint8_t>> {
  using type = BytesView;
};

template <class Tuple>
struct StoredTuple;
template <class... P>
struct StoredTuple<std::tuple<P...>> {
  using type = std::tuple<typename Stored<P>::type...>;
};

template <class Tuple>
struct Tail {
  using type = std::tuple<>;
};
template <class Head, class... Rest>
struct Tail<std::tuple<Head, Rest...>> {
  using type = std::tuple<Rest...>;
};

constexpr std::size_t kTextMax = 96;
using Text = std::array<char, kTextMax>;

struct TextBuilder {
  Text out{};
  std::size_t len = 0;
  constexpr void add(const char* s) {
    for (; *s != '\0'; ++s) out[len++] = *s;
  }
};

/// "name($self, a, b)\n--\n\n": the text signature in the stored form.
template <Receiver R, Literal Name, Literal... Params>
constexpr Text make_doc() {
  TextBuilder b;
  b.add(Name.text);
  b.add("(");
  bool first = true;
  if constexpr (R == Receiver::shared || R == Receiver::exclusive) {
    b.add("$self");
    first = false;
  } else if constexpr (R == Receiver::cls) {
    b.add("$cls");
    first = false;
  }
  ((b.add(first ? "" : ", "), b.add(Params.text), first = false), ...);
  b.add(")\n--\n\n");
  return b.out;
}

/// "Varnel.name()" (or "name()" for a module function): the name used in
/// binding messages.
template <Receiver R, Literal Name>
constexpr Text make_full_name() {
  TextBuilder b;
  if constexpr (R != Receiver::module) b.add("Varnel.");
  b.add(Name.text);
  b.add("()");
  return b.out;
}

template <Receiver R, Literal Name, auto Fn, Literal... Params>
struct Method {
  using Traits = FnTraits<decltype(Fn)>;
  using Params_ =
      std::conditional_t<R == Receiver::shared || R == Receiver::exclusive,
                         typename Tail<typename Traits::Args>::type, typename Traits::Args>;
  using Converted = typename StoredTuple<Params_>::type;
  static constexpr std::size_t kParams = sizeof...(Params);
  static_assert(std::tuple_size_v<Converted> == kParams,
                "one parameter name per converted argument");

  static constexpr Text doc = make_doc<R, Name, Params...>();
  static constexpr Text full_name = make_full_name<R, Name>();
  static constexpr const char* param_names[kParams + 1] = {Params.text..., nullptr};

  template <std::size_t... I>
  static Converted convert_all(PyObject* const* raw, std::index_sequence<I...>) {
    // Braced initialisation converts left to right, in parameter order.
    return Converted{
        convert_argument<std::tuple_element_t<I, Converted>>(raw[I], param_names[I])...};
  }

  static PyObject* invoke(PyObject* self, PyObject* const* raw) {
    auto call = [&](auto&&... receiver) {
      Converted args = convert_all(raw, std::make_index_sequence<kParams>{});
      return std::apply(
          [&](auto&&... a) {
            return to_py(
                Fn(std::forward<decltype(receiver)>(receiver)..., std::forward<decltype(a)>(a)...));
          },
          std::move(args));
    };
    if constexpr (R == Receiver::shared) {
      VarnelObject* obj = as_varnel(self);
      SharedBorrow borrow(obj->borrow);
      return call(std::as_const(obj->data.table)).release();
    } else if constexpr (R == Receiver::exclusive) {
      VarnelObject* obj = as_varnel(self);
      ExclusiveBorrow borrow(obj->borrow);
      return call(obj->data).release();
    } else {
      return call().release();
    }
  }

  static PyObject* noargs(PyObject* self, PyObject*) {
    return guard([&] { return invoke(self, nullptr); });
  }

  static PyObject* fastcall(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
    return guard([&] {
      PyObject* raw[kParams + 1] = {};
      bind_fastcall(Signature{full_name.data(), {param_names, kParams}}, args, nargs, kwnames, raw);
      return invoke(self, raw);
    });
  }

  static PyMethodDef def() {
    int flags = 0;
    if constexpr (R == Receiver::cls) flags |= METH_CLASS;
    if constexpr (R == Receiver::none) flags |= METH_STATIC;
    if constexpr (kParams == 0 && R != Receiver::cls && R != Receiver::none) {
      return PyMethodDef{Name.text, reinterpret_cast<PyCFunction>(+noargs), flags | METH_NOARGS,
                         doc.data()};
    } else {
      return PyMethodDef{Name.text,
                         reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(+fastcall)),
                         flags | METH_FASTCALL | METH_KEYWORDS, doc.data()};
    }
  }
};

}  // namespace detail

/// The PyMethodDef of one method; see the comment at the top of this file.
template <Literal Name, Receiver R, auto Fn, Literal... Params>
PyMethodDef method() {
  return detail::Method<R, Name, Fn, Params...>::def();
}

}  // namespace varnel::py
