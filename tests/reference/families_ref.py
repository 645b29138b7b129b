"""Plain reference definitions of the function families, entry by entry, for
the Python tests (small sizes only)."""
from itertools import combinations


def is_prime(i):
    if i < 2:
        return False
    if i == 2:
        return True
    if i % 2 == 0:
        return False
    if i in (3, 5, 7):
        return True
    d = 3
    while d * d <= i:
        if i % d == 0:
            return False
        d += 2
    return True


def gcd(a, b):
    while b != 0:
        a, b = b, a % b
    return a


def parity(n):
    return [bin(i).count("1") % 2 == 0 for i in range(1 << n)]


def majority(n):
    return [bin(i).count("1") > n // 2 for i in range(1 << n)]


def primality(n):
    return [is_prime(i) for i in range(1 << n)]


def operands(n, i):
    """(x, y): the high and the low n bits of i."""
    return i >> n, i & ((1 << n) - 1)


def coprimes(n):
    return [gcd(*operands(n, i)) == 1 for i in range(1 << (2 * n))]


def sum_is_prime(n):
    return [is_prime(sum(operands(n, i))) for i in range(1 << (2 * n))]


def edge(u, v, n):
    return u * (2 * n - u - 1) // 2 + (v - u - 1)


def find_clique(edges, n, k):
    def present(lo, hi):
        e = edge(lo, hi, n)
        return e < len(edges) and edges[e] != 0

    if k == 1:
        return [0]
    if k == n:
        ok = all(present(i, j) for i in range(n) for j in range(i + 1, n))
        return list(range(n)) if ok else None
    for subset in combinations(range(n), k):
        if all(present(subset[p], subset[q]) for p in range(k) for q in range(p + 1, k)):
            return list(subset)
    return None


def clique(n):
    m = n * (n - 1) // 2
    return [find_clique([(i >> e) & 1 for e in range(m)], n, n // 2) is not None
            for i in range(1 << m)]
