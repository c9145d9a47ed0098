"""Times kessa.loads beside json.loads of the same data's compact JSON, and beside the route a
script takes without the module (kessa2json as a subprocess, then json.load of its output).

    python bench/python_loads.py ROUNDS PREFIX TOOL SCRATCH

PREFIX is a workload of bench/generate (PREFIX.kessa and PREFIX.json), TOOL the kessa2json
program, SCRATCH a folder for the route's output. Each measurement runs in a process of its own,
round by round after a warm-up; the table gives the median wall time of the call alone, of the
call and a full collection after it (gc.collect(): the collector's work that the call leaves for
later), the processor time of the call alone (the figure a busy machine blurs least), and the
median peak memory of the process (for the route, the tool's own peak after a slash). The same
on a 10 KB configuration cut from the workload, per call, over many calls.
"""

import gc
import json
import os
import resource
import statistics
import subprocess
import sys
import time


def child(variant, prefix, tool, scratch, calls):
    """Runs one measurement and prints: seconds, seconds with a collection after, the processor
    time of the call alone, peak KB, the tool's peak KB."""
    import kessa

    if variant == "kessa.loads":
        text = open(prefix + ".kessa", "rb").read()
        parse = lambda: kessa.loads(text)
    elif variant == "json.loads":
        text = open(prefix + ".json", encoding="utf-8").read()
        parse = lambda: json.loads(text)
    else:
        output = os.path.join(scratch, "route.json")

        def parse():
            subprocess.run([tool, prefix + ".kessa", output], check=True)
            with open(output, encoding="utf-8") as file:
                return json.load(file)

    start, processor = time.perf_counter(), time.process_time()
    for _ in range(calls - 1):
        parse()
    result = parse()
    alone = (time.perf_counter() - start) / calls
    processor = (time.process_time() - processor) / calls
    gc.collect()
    collected = (time.perf_counter() - start) / calls
    del result
    # The high-water mark of this program's own memory (ru_maxrss would count its parent's
    # memory at the fork); the tool's, as the system counts its children.
    with open("/proc/self/status") as status:
        peak = next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))
    tool_peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss
    print(alone, collected, processor, peak, tool_peak)


def measure(variant, prefix, tool, scratch, calls):
    command = [sys.executable, __file__, "--child", variant, prefix, tool, scratch, str(calls)]
    alone, collected, processor, peak, tool_peak = subprocess.run(
        command, check=True, capture_output=True, text=True
    ).stdout.split()
    return float(alone), float(collected), float(processor), int(peak), int(tool_peak)


def table(title, rounds, prefix, tool, scratch, calls, unit, scale):
    """`calls` gives each variant with the number of calls its process makes."""
    runs = {variant: [] for variant in calls}
    for round in range(rounds + 1):  # round 0 is the warm-up
        for variant, count in calls.items():
            figures = measure(variant, prefix, tool, scratch, count)
            if round > 0:
                runs[variant].append(figures)
    print(f"\n{title}, median of {rounds} rounds")
    print(f"{'':14} {unit:>12} {'x json':>8} {'with gc.collect()':>18} {'processor':>10} "
          f"{'x json':>7} {'peak MB':>10}")
    median = lambda variant, field: statistics.median(run[field] for run in runs[variant])
    for variant in runs:
        memory = f"{median(variant, 3) / 1024:.0f}"
        if variant == "route":  # the tool's peak too, and its processor time is not counted
            memory += f" / {median(variant, 4) / 1024:.0f}"
        print(
            f"{variant:14} {median(variant, 0) * scale:12.3f} "
            f"{median(variant, 0) / median('json.loads', 0):8.2f} "
            f"{median(variant, 1) * scale:18.3f} {median(variant, 2) * scale:10.3f} "
            f"{median(variant, 2) / median('json.loads', 2):7.2f} {memory:>10}"
        )


def cut(prefix, scratch, size):
    """Writes the first records of the workload, about `size` bytes, as kessa and compact JSON."""
    import kessa

    text = open(prefix + ".kessa", "rb").read()
    end = text.index(b"\nrecord_", size) + 1
    small = os.path.join(scratch, "config")
    with open(small + ".kessa", "wb") as file:
        file.write(text[:end])
    with open(small + ".json", "w", encoding="utf-8") as file:
        json.dump(json.loads(kessa.to_json(text[:end])), file, separators=(",", ":"))
    return small, end


def main():
    if sys.argv[1] == "--child":
        child(*sys.argv[2:6], int(sys.argv[6]))
        return
    rounds, prefix, tool, scratch = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
    size = os.path.getsize(prefix + ".kessa")
    table(
        f"{size / 1e6:.0f} MB of kessa ({os.path.getsize(prefix + '.json') / 1e6:.0f} MB of JSON)",
        rounds, prefix, tool, scratch, {"kessa.loads": 1, "json.loads": 1, "route": 1}, "seconds", 1,
    )
    small, small_size = cut(prefix, scratch, 10_000)
    table(
        f"a {small_size / 1e3:.0f} KB configuration, per call (of 2,000; the route's of 50)",
        rounds, small, tool, scratch, {"kessa.loads": 2000, "json.loads": 2000, "route": 50},
        "us per call", 1e6,
    )


if __name__ == "__main__":
    main()
