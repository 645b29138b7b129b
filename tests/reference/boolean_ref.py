"""Plain reference definitions of varnelkit's Boolean-function measures, for
the Python tests: sums over all inputs, the Möbius sum over submasks, ranks of
GF(2) matrices, recursions over restrictions and blocks. Tables are lists of
0/1 ints, entry x = f(x), variable j = bit j of x."""
from functools import lru_cache


def n_vars(t):
    return len(t).bit_length() - 1


def weight(x):
    return bin(x).count("1")


def walsh_standard(t):
    """W(s) = sum over x of (-1)^(f(x) + s.x)."""
    return [sum((-1) ** (t[x] ^ (weight(x & s) & 1)) for x in range(len(t)))
            for s in range(len(t))]


def autocorrelation(t):
    return [sum((-1) ** (t[x] ^ t[x ^ a]) for x in range(len(t))) for a in range(len(t))]


def anf(t):
    """a(u) = XOR of f(x) over the x contained in u."""
    return [sum(t[x] for x in range(len(t)) if x & ~u == 0) & 1 for u in range(len(t))]


def algebraic_degree(t):
    return max((weight(u) for u, c in enumerate(anf(t)) if c), default=0)


def order_below_first_nonzero(values, n):
    """One less than the least weight of an index s >= 1 with values[s] != 0;
    n when there is none."""
    nonzero = [weight(s) for s in range(1, len(values)) if values[s]]
    return min(nonzero) - 1 if nonzero else n


def correlation_immunity(t):
    return order_below_first_nonzero(walsh_standard(t), n_vars(t))


def is_balanced(t):
    return len(t) > 1 and 2 * sum(t) == len(t)


def resiliency(t):
    return correlation_immunity(t) if is_balanced(t) else -1


def propagation_criterion(t):
    return order_below_first_nonzero(autocorrelation(t), n_vars(t))


def is_bent(t):
    n = n_vars(t)
    return n % 2 == 0 and all(abs(w) == 1 << (n // 2) for w in walsh_standard(t))


def is_symmetric(t):
    by_weight = {}
    return all(by_weight.setdefault(weight(x), v) == v for x, v in enumerate(t))


def gf2_rank(rows):
    """Rank over GF(2) of rows given as ints."""
    basis = []
    for r in rows:
        for b in basis:
            r = min(r, r ^ b)
        if r:
            basis.append(r)
    return len(basis)


def annihilator_degree(t, value):
    n = n_vars(t)
    points = [x for x in range(len(t)) if t[x] == value]
    for d in range(n + 1):
        monomials = [u for u in range(len(t)) if weight(u) <= d]
        rows = [sum(1 << j for j, x in enumerate(points) if x & u == u) for u in monomials]
        if gf2_rank(rows) < len(rows):
            return d
    return n + 1


def algebraic_immunity(t):
    return min(annihilator_degree(t, 1), annihilator_degree(t, 0))


def decision_tree_depth(t):
    n = n_vars(t)

    @lru_cache(maxsize=None)
    def depth(fixed, values):
        seen = {t[x] for x in range(len(t)) if x & fixed == values}
        if len(seen) < 2:
            return 0
        return min(1 + max(depth(fixed | 1 << i, values), depth(fixed | 1 << i, values | 1 << i))
                   for i in range(n) if not fixed >> i & 1)

    return depth(0, 0)


def block_sensitivity(t):
    n = n_vars(t)
    best = 0
    for x in range(len(t)):
        @lru_cache(maxsize=None)
        def pack(avail):
            if avail == 0:
                return 0
            low = avail & -avail
            b = pack(avail & ~low)
            rest = avail & ~low
            sub = rest
            while True:
                block = sub | low
                if t[x ^ block] != t[x]:
                    b = max(b, 1 + pack(avail & ~block))
                if sub == 0:
                    break
                sub = (sub - 1) & rest
            return b
        best = max(best, pack((1 << n) - 1))
    return best


def certificate_complexity(t):
    n = n_vars(t)
    worst = 0
    for x in range(len(t)):
        for size in range(n + 1):
            ok = False
            for s in range(1 << n):
                if weight(s) != size:
                    continue
                if all(t[y] == t[x] for y in range(len(t)) if (y ^ x) & s == 0):
                    ok = True
                    break
            if ok:
                worst = max(worst, size)
                break
    return worst


def max_sensitivity(t):
    n = n_vars(t)
    return max(sum(t[x] != t[x ^ (1 << j)] for j in range(n)) for x in range(len(t)))
