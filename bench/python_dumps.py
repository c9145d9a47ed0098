"""Times kessa.dumps beside json.dumps of the same value, indented by four spaces as the kessa
layout is (json's pure-Python encoder, which it takes for indent), and compact (its C encoder).

    python bench/python_dumps.py ROUNDS PREFIX

PREFIX is a workload of bench/generate: the value is kessa.load of PREFIX.kessa. Each round runs
each variant in a process of its own (after a warm-up round); the table gives the median wall
time and processor time of the call, and the median peak memory of the process beyond the value
it writes. Every text is read back once, to check that it holds the value.
"""

import json
import statistics
import subprocess
import sys
import time

VARIANTS = {
    "kessa.dumps": lambda kessa, value: kessa.dumps(value),
    "json indent=4": lambda kessa, value: json.dumps(value, indent=4),
    "json compact": lambda kessa, value: json.dumps(value),
}


def peak_kb():
    with open("/proc/self/status") as status:
        return next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))


def child(variant, prefix, check):
    """Prints: seconds, processor seconds, peak KB beyond the value's, the text's size."""
    import kessa

    with open(prefix + ".kessa", "rb") as file:
        value = kessa.load(file)
    before = peak_kb()
    start, processor = time.perf_counter(), time.process_time()
    text = VARIANTS[variant](kessa, value)
    seconds, processor = time.perf_counter() - start, time.process_time() - processor
    peak = peak_kb() - before
    if check:
        back = kessa.loads(text) if variant == "kessa.dumps" else json.loads(text)
        if back != value:
            sys.exit(f"{variant}: the text does not read back as the value")
    print(seconds, processor, peak, len(text))


def main():
    if sys.argv[1] == "--child":
        child(sys.argv[2], sys.argv[3], sys.argv[4] == "1")
        return
    rounds, prefix = int(sys.argv[1]), sys.argv[2]
    runs = {variant: [] for variant in VARIANTS}
    for round in range(rounds + 1):  # round 0 is the warm-up, and checks each text
        for variant in VARIANTS:
            out = subprocess.run(
                [sys.executable, __file__, "--child", variant, prefix, str(int(round == 0))],
                check=True, capture_output=True, text=True).stdout.split()
            if round > 0:
                runs[variant].append([float(field) for field in out])
    median = lambda variant, field: statistics.median(run[field] for run in runs[variant])
    print(f"\nwriting the value of {prefix}.kessa, median of {rounds} rounds")
    print(f"{'':14} {'seconds':>8} {'x indent':>9} {'processor':>10} {'x indent':>9} "
          f"{'peak MB':>8} {'text MB':>8}")
    for variant in VARIANTS:
        print(f"{variant:14} {median(variant, 0):8.3f} "
              f"{median(variant, 0) / median('json indent=4', 0):9.2f} "
              f"{median(variant, 1):10.3f} {median(variant, 1) / median('json indent=4', 1):9.2f} "
              f"{median(variant, 2) / 1024:8.0f} {median(variant, 3) / 1e6:8.1f}")


if __name__ == "__main__":
    main()
