"""strobelink's benchmarks: fidelity, latency and holds of the link between the real
Tellan and Harkel, on a quiet machine and with both cores loaded; Harkel's CPU
cost; start-up time and peak memory in real windows beside a bare Qt program.

Prints a table with the targets and writes everything to OUT/results.json.
Run through bench/run, which builds first.
"""

import argparse
import json
import os
import platform
import random
import signal
import subprocess
import sys
import time
from pathlib import Path

sys.dont_write_bytecode = True  # keep the source tree clean
import link_run  # noqa: E402
import stats  # noqa: E402
import windows  # noqa: E402

DEFAULT_SEED = 1284
LONGEST_LINE = 127
SECONDS_PER_LINE = 1.49  # 63.5 characters of 20 ms, the terminator, 0.2 s idle


def random_lines(count, seed):
    """Printable ASCII lines of 0 to 127 characters, every length equally likely."""
    rng = random.Random(seed)
    return ["".join(chr(rng.randint(0x20, 0x7E)) for _ in range(rng.randint(0, LONGEST_LINE)))
            for _ in range(count)]


def machine():
    model = "unknown"
    with open("/proc/cpuinfo") as cpuinfo:
        for line in cpuinfo:
            if line.startswith("model name"):
                model = line.split(":", 1)[1].strip()
                break
    with open("/proc/meminfo") as meminfo:
        memory_kb = int(meminfo.readline().split()[1])
    debian = Path("/etc/debian_version").read_text().strip() if Path("/etc/debian_version").exists() else "?"
    return {"cpu_model": model, "cores": os.cpu_count(), "memory_gib": round(memory_kb / 2**20, 1),
            "kernel": platform.release(), "debian": debian, "load_average_at_start": stats.load_average()}


class CpuLoad:
    """stress-ng spinning on every core, for the length of a `with` block."""

    def __init__(self, workers):
        self.workers = workers

    def __enter__(self):
        self.process = subprocess.Popen(["stress-ng", "--cpu", str(self.workers), "--quiet"],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL)
        time.sleep(2)  # the workers are spinning
        if self.process.poll() is not None:
            raise RuntimeError("stress-ng did not start")
        return self

    def __exit__(self, *exc):
        self.process.send_signal(signal.SIGTERM)  # stress-ng stops its own workers
        try:
            self.process.wait(20)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


def progress(message):
    print(f"[{time.strftime('%H:%M:%S')}] {message}", file=sys.stderr, flush=True)


def ms(seconds):
    return "—" if seconds is None else f"{seconds * 1e3:.2f} ms"


def pct(share):
    return "—" if share is None else f"{share * 100:.2f} %"


def verdict(ok):
    return "pass" if ok else "MISS"


def table_rows(results):
    rows = []  # (figure, value, target, verdict)
    runs = results["runs"]
    for name, need in (("quiet", 1.0), ("loaded", 0.998)):
        run = runs.get(name)
        if not run:
            continue
        c = run["counts"]
        rows.append((f"fidelity, {name}: lines received whole",
                     f"{pct(run['fidelity_share'])} ({run['lines_whole']}/{run['lines_sent']}; "
                     f"missing {c['missing']}, altered {c['altered']}, extra {c['extra']})",
                     "100 %" if need == 1.0 else ">= 99.8 %", verdict(run["fidelity_share"] >= need)))
    for name in ("quiet", "loaded"):
        run = runs.get(name)
        if not run:
            continue
        lat = run["latency"]
        judged = name == "quiet"
        rows.append((f"latency excess, {name}: median", ms(lat["excess_median_s"]), "<= 5 ms" if judged else "",
                     verdict(lat["excess_median_s"] <= 0.005) if judged else "info"))
        rows.append((f"latency excess, {name}: 99th percentile", ms(lat["excess_p99_s"]),
                     "<= 15 ms" if judged else "",
                     verdict(lat["excess_p99_s"] <= 0.015) if judged else "info"))
        rows.append((f"  of which the link ran late (median / p99)",
                     f"{ms(lat['link_stretch_median_s'])} / {ms(lat['link_stretch_p99_s'])}", "", ""))
        rows.append((f"  of which terminator edge to printed line (median / p99)",
                     f"{ms(lat['receiver_after_terminator_median_s'])} / "
                     f"{ms(lat['receiver_after_terminator_p99_s'])}", "", ""))
    for name in ("quiet", "loaded"):
        run = runs.get(name)
        if not run:
            continue
        holds = run["holds"]
        judged = name == "quiet"
        rows.append((f"hold, {name}: median", ms(holds["median_s"]), "10.0 to 10.5 ms" if judged else "",
                     verdict(0.010 <= holds["median_s"] <= 0.0105) if judged else "info"))
        rows.append((f"hold, {name}: 99th percentile / longest", f"{ms(holds['p99_s'])} / {ms(holds['max_s'])}",
                     "", "info"))
    if "quiet" in runs:
        share = runs["quiet"]["harkel_cpu_idle_share"]
        rows.append(("Harkel CPU idle, console", pct(share), "< 2 % of a core", verdict(share < 0.02)))
    win = results.get("windows")
    if win and win.get("harkel_window_idle_cpu_share") is not None:
        share = win["harkel_window_idle_cpu_share"]
        rows.append(("Harkel CPU idle, window", pct(share), "< 2 % of a core", verdict(share < 0.02)))
    for name in ("quiet", "loaded"):
        if name in runs:
            rows.append((f"Harkel CPU receiving, {name}", pct(runs[name]["harkel_cpu_receiving_share"]), "", "info"))
    if win:
        bare = win["bare"]
        for program in ("Tellan", "Harkel"):
            p = win[program]
            ratio = p["startup_median_s"] / bare["startup_median_s"]
            rows.append((f"start-up to mapped window, {program} (median of {p['trials']})",
                         f"{ms(p['startup_median_s'])} = {ratio:.2f} x bare ({ms(bare['startup_median_s'])})",
                         "<= 1.3 x bare", verdict(ratio <= 1.3)))
        for program in ("Tellan", "Harkel"):
            p = win[program]
            ratio = p["vm_hwm_median_kb"] / bare["vm_hwm_median_kb"]
            rows.append((f"peak memory VmHWM, {program}",
                         f"{p['vm_hwm_median_kb'] / 1024:.1f} MiB = {ratio:.2f} x bare "
                         f"({bare['vm_hwm_median_kb'] / 1024:.1f} MiB)",
                         "<= 1.3 x bare", verdict(ratio <= 1.3)))
    return rows


def describe_waits(program, failure):
    """The program's longest wait for a CPU around the first lost character, else in the line."""
    waits = [w for w in failure.get(f"{program}_waits", []) if w["seconds"] > 0.005]
    lost = failure.get("first_lost_character")
    near = [w for w in waits if lost is not None and w["from_character"] - 1 <= lost <= w["to_character"] + 1]
    chosen = max(near or waits, key=lambda w: w["seconds"], default=None)
    if chosen is None:
        return ""
    return (f"; {program} waited {ms(chosen['seconds'])} for a CPU, characters {chosen['from_character']} "
            f"to {chosen['to_character']} on the wire")


def print_table(results):
    config, m = results["config"], results["machine"]
    print(f"strobelink benchmarks: {config['lines']} lines, seed {config['seed']}, release build")
    if config.get("tellan_timer_slack_ns") is not None:
        print(f"what-if: Tellan's timer slack set to {config['tellan_timer_slack_ns']} ns")
    if config.get("realtime"):
        print(f"what-if: {' and '.join(config['realtime'])} at real-time priority (SCHED_FIFO)")
    print(f"machine: {m['cpu_model']}, {m['cores']} cores, {m['memory_gib']} GiB, Linux {m['kernel']}, "
          f"Debian {m['debian']}; load average at start {' '.join(map(str, m['load_average_at_start']))}")
    for name, run in results["runs"].items():
        print(f"{name} run: load average {' '.join(map(str, run['load_average_before']))} before, "
              f"{' '.join(map(str, run['load_average_after']))} after; machine busy {pct(run['machine_busy_share'])}, "
              f"{pct(run['others_busy_share'])} of it others' work"
              + (f" ({pct(run['others_besides_stress_busy_share'])} besides stress-ng)"
                 if "others_besides_stress_busy_share" in run else "") + "; "
              f"probe read every {run['probe'].get('mean_read_interval_us', 0):.0f} us, "
              f"longest gap {run['probe'].get('longest_gap_us')} us")
    if "windows" in results:
        w = results["windows"]
        print(f"window run: machine busy {pct(w['machine_busy_share'])}, {pct(w['others_busy_share'])} of it others' work")
    if config["lines"] != 500:
        print("(a short run: the figures in docs/benchmarks.md come from 500 lines)")
    rows = table_rows(results)
    widths = [max(len(r[i]) for r in rows) for i in range(3)]
    print()
    print(f"{'figure':<{widths[0]}}  {'measured':<{widths[1]}}  {'target':<{widths[2]}}  verdict")
    for figure, value, target, ok in rows:
        print(f"{figure:<{widths[0]}}  {value:<{widths[1]}}  {target:<{widths[2]}}  {ok}".rstrip())
    for name, run in results["runs"].items():
        for program, figures in run.get("scheduling", {}).items():
            print(f"{name} run: {program} waited for a CPU over 10 ms {figures['waits_over_10ms']} times, "
                  f"longest {ms(figures['longest_wait_s'])}")
        for f in run["failures"]:
            print(f"{name}: {f['kind']} line {f.get('line', f.get('received_line'))}", end="")
            if "how" in f:
                print(f": {f['how']}", end="")
            if f.get("longest_hold_s") is not None:
                print(f"; longest hold on the wire {ms(f['longest_hold_s'])} at write {f['longest_hold_write']}",
                      end="")
            if "on_wire_as_sent" in f and not f["on_wire_as_sent"]:
                print("; the probe missed part of it", end="")
            for program in ("Harkel", "Tellan"):
                print(describe_waits(program, f), end="")
            print()
    results["verdicts"] = [{"figure": r[0], "measured": r[1], "target": r[2], "verdict": r[3]}
                           for r in rows if r[3] in ("pass", "MISS")]


def main():
    parser = argparse.ArgumentParser(prog="bench/run", description="strobelink's benchmarks; bench/run builds first and passes --bin and --bare")
    parser.add_argument("--bin", required=True, type=Path, help="directory of the release build's programs")
    parser.add_argument("--bare", required=True, type=Path, help="the bare Qt program")
    parser.add_argument("--out", default=Path("bench/out"), type=Path)
    parser.add_argument("--lines", type=int, default=500, help="lines per fidelity run (default 500)")
    parser.add_argument("--seed", type=int, default=DEFAULT_SEED)
    parser.add_argument("--trials", type=int, default=10, help="window starts per program (default 10)")
    parser.add_argument("--idle-seconds", type=float, default=20, help="Harkel left idle this long")
    parser.add_argument("--quick", action="store_true", help="20 lines, 3 window starts, 5 s idle: a try-out")
    parser.add_argument("--skip", action="append", default=[], choices=["windows", "quiet", "loaded"])
    parser.add_argument("--quiet-wait", type=float, default=900, metavar="SECONDS",
                        help="before the quiet measurements wait up to this long for other work on the "
                             "machine to fall under 10 %% of its cores (default 900; 0: do not wait)")
    parser.add_argument("--watch-scheduling", action="store_true",
                        help="a diagnosis: record when Harkel and Tellan waited for a CPU (bench/offcpu.py, "
                             "real-time priority, root)")
    parser.add_argument("--realtime", action="append", default=[], choices=["Harkel", "Tellan"],
                        help="a what-if: run this program's main thread at real-time priority (SCHED_FIFO; root)")
    parser.add_argument("--tellan-timer-slack", type=int, metavar="NS",
                        help="a what-if: set Tellan's timer slack (kernel default 50000 ns) before it sends")
    args = parser.parse_args()
    if args.quick:
        args.lines, args.trials, args.idle_seconds = 20, 3, 5
    bin_dir = args.bin.resolve()
    out = args.out.resolve()
    out.mkdir(parents=True, exist_ok=True)

    lines = random_lines(args.lines, args.seed)
    results = {"config": {"lines": args.lines, "seed": args.seed, "trials": args.trials,
                          "tellan_timer_slack_ns": args.tellan_timer_slack,
                          "watch_scheduling": args.watch_scheduling, "realtime": args.realtime,
                          "idle_seconds": args.idle_seconds, "started": time.strftime("%Y-%m-%d %H:%M:%S %z")},
               "machine": machine(), "runs": {}}
    print(f"seed {args.seed}, {args.lines} lines", file=sys.stderr)

    def wait_for_quiet():
        if args.quiet_wait > 0:
            busy = stats.wait_for_quiet(args.quiet_wait, report=progress)
            progress(f"machine {busy * 100:.0f} % busy with other work; going ahead")

    if "windows" not in args.skip:
        wait_for_quiet()
        progress(f"windows: {args.trials} starts each of the bare program, Tellan and Harkel under Xvfb")
        results["windows"] = windows.run({"bare": (args.bare.resolve(), "Bare"),
                                          "Tellan": (bin_dir / "Tellan", "Tellan"),
                                          "Harkel": (bin_dir / "Harkel", "Harkel")},
                                         args.trials, args.idle_seconds)
    minutes = (args.lines * SECONDS_PER_LINE + args.idle_seconds) / 60
    if "quiet" not in args.skip:
        wait_for_quiet()
        progress(f"quiet run: about {minutes:.0f} minutes")
        results["runs"]["quiet"] = link_run.run(bin_dir, lines, out / "quiet", args.idle_seconds, "quiet",
                                                args.tellan_timer_slack, args.watch_scheduling, args.realtime)
    if "loaded" not in args.skip:
        progress(f"loaded run (stress-ng --cpu 2): about {minutes:.0f} minutes")
        busy = stats.MachineBusy()
        with CpuLoad(2):
            results["runs"]["loaded"] = link_run.run(bin_dir, lines, out / "loaded", args.idle_seconds, "loaded",
                                                     args.tellan_timer_slack, args.watch_scheduling, args.realtime)
        # stress-ng has been waited for now, so it counts as the benchmark's own work.
        results["runs"]["loaded"]["others_besides_stress_busy_share"] = busy.shares()[1]
    results["config"]["finished"] = time.strftime("%Y-%m-%d %H:%M:%S %z")

    print_table(results)
    (out / "results.json").write_text(json.dumps(results, indent=2) + "\n")
    print(f"\nwritten to {out / 'results.json'}")


if __name__ == "__main__":
    main()
