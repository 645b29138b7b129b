"""Plain reference for circuits of two-input gates: every gate evaluated
input by input from its operation table (bit a + 2b is its value on a, b)."""


def evaluate(gates, output, complement):
    """The table word (entry x at bit x) of the circuit."""
    word = 0
    for x in range(32):
        node = [(x >> j) & 1 for j in range(5)]
        for op, a, b in gates:
            node.append((op >> (node[a] + 2 * node[b])) & 1)
        value = 0 if output is None else node[output]
        word |= (value ^ int(bool(complement))) << x
    return word


def minterm_blif(word, name="model"):
    """A BLIF model of the table word: one cover row per true entry."""
    rows = ["".join(str((x >> j) & 1) for j in range(5)) + " 1" for x in range(32) if (word >> x) & 1]
    # A cover without rows must have no inputs: the constant 0.
    names = ".names x0 x1 x2 x3 x4 f" if rows else ".names f"
    return "\n".join([f".model {name}", ".inputs x0 x1 x2 x3 x4", ".outputs f",
                      names, *rows, ".end"]) + "\n"
