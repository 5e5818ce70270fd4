"""Two threads at once against one thread alone: sort_versions of 1,000,000
real versions, and batch_compare of 1,000,000 pairs of them. With the
interpreter lock released during the C++ work, two threads on two cores take
about as long as one; the goal is at most 1.25x.

  python bench/threads.py [--rounds N] [--items N] [--eco debian,npm,...] [--shuffled]
"""
import argparse
import gc
import pathlib
import random
import sys
import threading
import time

import quorlen

DATA = pathlib.Path(__file__).resolve().parent / "data"

# Ecosystem -> the list of real versions it reads.
SOURCES = {
    "generic": "generic",
    "pep440": "pep440",
    "semver": "semver",
    "npm": "npm-100k",
    "debian": "debian-100k",
    "rpm": "rpm-100k",
    "maven": "maven",
}
GOAL = 1.25


def load(name):
    return [line for line in (DATA / f"{name}.txt").read_text().splitlines() if line]


def repeated(base, n, shuffled):
    """`base` (real versions, in no order) repeated to n items. Shuffled, the
    items lie at random places in memory, which slows every visit to them;
    a list read from a file has them in its own order."""
    xs = (base * (n // len(base) + 1))[:n]
    if shuffled:
        random.Random(n).shuffle(xs)
    return xs


def pairs_of(xs):
    return list(zip(xs, xs[1:] + xs[:1]))


def one_thread(fn, arg):
    t = time.perf_counter()
    fn(arg)
    return time.perf_counter() - t


def two_threads(fn, a, b):
    """Wall time from a common start until both calls have returned."""
    start = threading.Barrier(3)
    errors = []

    def work(arg):
        start.wait()
        try:
            fn(arg)
        except BaseException as e:  # noqa: BLE001 - reported by the caller
            errors.append(e)

    threads = [threading.Thread(target=work, args=(arg,)) for arg in (a, b)]
    for t in threads:
        t.start()
    start.wait()
    t0 = time.perf_counter()
    for t in threads:
        t.join()
    elapsed = time.perf_counter() - t0
    if errors:
        raise errors[0]
    return elapsed


def measure(fn, a, b, rounds):
    """Best single-thread and best two-thread seconds, in interleaved rounds."""
    single = double = float("inf")
    gc.disable()
    try:
        fn(a)  # warm up: page in the inputs and the allocator
        for _ in range(rounds):
            single = min(single, one_thread(fn, a))
            double = min(double, two_threads(fn, a, b))
    finally:
        gc.enable()
    return single, double


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--rounds", type=int, default=3)
    ap.add_argument("--items", type=int, default=1_000_000)
    ap.add_argument("--eco", default="generic,pep440,semver,debian,rpm",
                    help="comma-separated, from " + ",".join(SOURCES))
    ap.add_argument("--shuffled", action="store_true", help="the repeated list shuffled")
    args = ap.parse_args()

    print(f"two threads vs one (python {sys.version.split()[0]}, {args.items:,} items a call"
          f"{', shuffled' if args.shuffled else ''}, best of {args.rounds})\n")
    print(f"  {'call':<28} {'one thread':>11} {'two threads':>12} {'ratio':>7}")
    worst = 0.0
    for eco in args.eco.split(","):
        a = repeated(load(SOURCES[eco]), args.items, args.shuffled)
        b = a[::-1]  # the other thread's list: the same items, another order
        rows = [
            (f"sort_versions {eco}", lambda xs, eco=eco: quorlen.sort_versions(xs, eco), a, b),
            (f"batch_compare {eco}", lambda ps, eco=eco: quorlen.batch_compare(ps, eco), pairs_of(a), pairs_of(b)),
        ]
        for name, fn, x, y in rows:
            single, double = measure(fn, x, y, args.rounds)
            ratio = double / single
            worst = max(worst, ratio)
            print(f"  {name:<28} {single:10.3f}s {double:11.3f}s {ratio:6.2f}x")
    print(f"\n  [{'met' if worst <= GOAL else 'MISSED'}] two threads at most {GOAL}x one thread: worst {worst:.2f}x")


if __name__ == "__main__":
    main()
