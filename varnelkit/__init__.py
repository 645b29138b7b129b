"""varnelkit: the companion of the ``varnel`` extension module.

``varnel`` holds a Boolean function as its truth table and answers the
measures it was built for, with a fixed surface. ``varnelkit`` adds what
users of a scientific package expect around it: optimal circuits for
five-input functions, a friendly function object, batch APIs, extra measures
and the ``varnel`` command-line tool.
"""

from importlib.metadata import PackageNotFoundError, version as _version

try:
    __version__ = _version("varnel")
except PackageNotFoundError:  # running from a source tree
    __version__ = "0+unknown"

from . import _packed  # noqa: F401  (registers the pickle reducer of Varnel)
from .census import census

__all__ = ["__version__", "census"]

from .circuit import Circuit, optimal_circuit  # noqa: E402
from .npn import (  # noqa: E402
    Transform,
    apply_transform,
    minimal_gates_many,
    npn5_classes,
    npn_canonize,
    npn_canonize_many,
    npn_class_indices,
    npn_representatives,
)

__all__ += [
    "Circuit",
    "optimal_circuit",
    "Transform",
    "apply_transform",
    "minimal_gates_many",
    "npn5_classes",
    "npn_canonize",
    "npn_canonize_many",
    "npn_class_indices",
    "npn_representatives",
]

from ._format import format_f32  # noqa: E402
from .function import BooleanFunction  # noqa: E402
from .measures import (  # noqa: E402
    AlgebraicNormalForm,
    absolute_indicator,
    algebraic_degree,
    algebraic_immunity,
    anf,
    autocorrelation,
    block_sensitivity,
    correlation_immunity,
    decision_tree_depth,
    fourier_coefficients,
    fourier_weights,
    is_balanced,
    is_bent,
    is_symmetric,
    linear_structures,
    propagation_criterion,
    resiliency,
    sum_of_squares_indicator,
    walsh_spectrum,
)

__all__ += [
    "format_f32",
    "BooleanFunction",
    "AlgebraicNormalForm",
    "absolute_indicator",
    "algebraic_degree",
    "algebraic_immunity",
    "anf",
    "autocorrelation",
    "block_sensitivity",
    "correlation_immunity",
    "decision_tree_depth",
    "fourier_coefficients",
    "fourier_weights",
    "is_balanced",
    "is_bent",
    "is_symmetric",
    "linear_structures",
    "propagation_criterion",
    "resiliency",
    "sum_of_squares_indicator",
    "walsh_spectrum",
]
