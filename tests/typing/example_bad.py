"""Wrong uses that a type checker must report, one per line marked so."""
# pyright: strict
from varnel import Varnel

f = Varnel.majority(3)
f.eval("3")  # expect-error: a str is no index
gates: int = f.minimal_gates()  # expect-error: None unless five variables
Varnel([0, 1])  # expect-error: entries must be bool
f.entropy(1)  # expect-error: no parameters
Varnel.decode("0401")  # expect-error: bytes, not str
