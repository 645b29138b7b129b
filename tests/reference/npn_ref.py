"""Plain reference for NPN classes of five-input table words (entry x at
bit x): every one of the 3,840 input transforms applied entry by entry, and
the output complement tried for each."""
import itertools

import numpy as np

MASK = 0xFFFFFFFF


def transform_map(perm, mask):
    """z(x) for every input x: z_i = x_{perm[i]} XOR bit i of mask."""
    return [sum((((x >> perm[i]) & 1) ^ ((mask >> i) & 1)) << i for i in range(5))
            for x in range(32)]


def apply_transform(h, perm, mask, complement):
    """g(x) = complement XOR h(z(x))."""
    z = transform_map(perm, mask)
    return sum((((h >> z[x]) & 1) ^ int(bool(complement))) << x for x in range(32))


TRANSFORMS = [(p, m) for p in itertools.permutations(range(5)) for m in range(32)]
_MAPS = np.array([transform_map(p, m) for p, m in TRANSFORMS], dtype=np.int64)
_WEIGHTS = np.uint64(1) << np.arange(32, dtype=np.uint64)


def input_images(word):
    """The 3,840 words word(z(x)), one per input transform."""
    bits = (np.uint64(word) >> np.arange(32, dtype=np.uint64)) & np.uint64(1)
    return (bits[_MAPS] * _WEIGHTS).sum(axis=1, dtype=np.uint64)


def representative(word):
    images = input_images(word)
    return int(min(images.min(), (images ^ np.uint64(MASK)).min()))


def orbit_size(word):
    """Number of functions in the class of word."""
    images = input_images(word)
    return len(set(images.tolist()) | set((images ^ np.uint64(MASK)).tolist()))
