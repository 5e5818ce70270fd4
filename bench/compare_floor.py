"""Nanoseconds per compare(a, b) on realistic version pairs, beside the floor of
any two-argument call from Python: operator.lt(a, b) on the same strings."""
import operator
import random
import sys
import time

import quorlen


def realistic_versions(n, seed=7):
    rng = random.Random(seed)
    tails = ["", "", "", "rc1", "-beta.2", ".post1", "a3", "-SNAPSHOT", ".dev0", "+build.5"]
    out = []
    for _ in range(n):
        parts = [str(rng.choice([0, 1, 2, 3, 10, 12, 2024])), str(rng.randrange(20)), str(rng.randrange(40))]
        out.append(".".join(parts[: rng.choice([2, 3, 3])]) + rng.choice(tails))
    return out


def per_call(fn, pairs, rounds):
    best = float("inf")
    for _ in range(rounds):
        t = time.perf_counter_ns()
        for a, b in pairs:
            fn(a, b)
        best = min(best, (time.perf_counter_ns() - t) / len(pairs))
    return best


def main():
    vs = realistic_versions(4000)
    pairs = list(zip(vs, vs[1:] + vs[:1]))
    rounds = int(sys.argv[1]) if len(sys.argv) > 1 else 15
    rows = {"operator.lt": operator.lt, "quorlen.compare": quorlen.compare, "quorlen.lt": quorlen.lt}
    results = {name: float("inf") for name in rows}
    for _ in range(rounds):  # interleaved, so drift hits every row alike
        for name, fn in rows.items():
            results[name] = min(results[name], per_call(fn, pairs, 1))
    floor = results["operator.lt"]
    for name, ns in results.items():
        print(f"{name:18s} {ns:8.1f} ns/call   {ns / floor:5.2f}x floor")


if __name__ == "__main__":
    main()
