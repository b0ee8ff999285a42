"""One run of the link: the real Tellan sends lines to the real Harkel, both on the
console and on a register file of their own, while linkprobe watches the wire.

Yields fidelity (received lines against sent ones), latency (Harkel's printed
line against the line's first falling edge on the wire), the holds of every
write as the probe saw them, and Harkel's CPU time idle and receiving.
"""

import difflib
import os
import re
import json
import signal
import subprocess
import sys
import threading
import time
from pathlib import Path

import stats

HOLD = 0.01  # seconds each write is held
STROBE = 0x80
IDLE = 0x80
# The sender keeps the link idle 0.2 s after a line; a gap this long at the
# idle level can only lie between lines.
BETWEEN_LINES = 0.1

REALTIME_PRIORITY = 5  # below offcpu.py's watch, above every ordinary task

CHANGE_LINE = re.compile(r"^\s*(\d+\.\d{6})  0x([0-9a-f]{2})  strobe")


class ReadLines(threading.Thread):
    """Reads a program's standard output, stamping each line on CLOCK_MONOTONIC
    (Python's time.monotonic) the moment the read that completes it returns."""

    def __init__(self, stream):
        super().__init__(daemon=True)
        self.fd = stream.fileno()
        self.lines = []  # (time, text)

    def run(self):
        pending = b""
        while True:
            chunk = os.read(self.fd, 65536)
            now = time.monotonic()
            if not chunk:
                break
            *complete, pending = (pending + chunk).split(b"\n")
            self.lines.extend((now, line.decode("latin-1")) for line in complete)


class Transmission:
    """The register's values from a line's first falling edge back to idle."""

    def __init__(self):
        self.changes = []  # (time, value)

    @property
    def text(self):
        data = [v & 0x7F for _, v in self.changes if not v & STROBE]
        return "".join(chr(c) for c in data if c)

    @property
    def well_formed(self):
        """Every write seen: low and high alternate, low first, ending 0x00, 0x80."""
        values = [v for _, v in self.changes]
        return (len(values) % 2 == 0 and len(values) >= 2
                and all(bool(v & STROBE) == (i % 2 == 1) for i, v in enumerate(values))
                and values[-2:] == [0x00, IDLE]
                and all(values[i + 1] == values[i] | STROBE for i in range(0, len(values), 2)))

    @property
    def first_edge(self):
        return self.changes[0][0]

    @property
    def terminator_edge(self):
        return self.changes[-2][0]

    def holds(self):
        """Each write's hold: the last write (idle again) runs into the gap and is left out."""
        times = [t for t, _ in self.changes]
        return [b - a for a, b in zip(times, times[1:])]


def read_trace(path):
    changes = []
    with open(path) as trace:
        for line in trace:
            match = CHANGE_LINE.match(line)
            if match:
                changes.append((float(match.group(1)), int(match.group(2), 16)))
    return changes


def split_transmissions(changes):
    transmissions, current = [], None
    previous_time = None
    for when, value in changes:
        if current is not None and current.changes[-1][1] == IDLE and when - previous_time > BETWEEN_LINES:
            transmissions.append(current)  # the probe missed the terminator: close it anyway
            current = None
        previous_time = when
        if current is None:
            if not value & STROBE:
                current = Transmission()
                current.changes.append((when, value))
            continue
        current.changes.append((when, value))
        if value == IDLE and current.changes[-2][1] == 0x00:
            transmissions.append(current)
            current = None
    if current is not None:
        transmissions.append(current)
    return transmissions


def align(expected, got):
    """Pairs of indices whose texts are equal, in order, and the stretches between them."""
    matcher = difflib.SequenceMatcher(None, expected, got, autojunk=False)
    return matcher.get_opcodes()


def first_lost(sent, received):
    """The index of the first sent character that did not arrive in its place."""
    for index, (a, b) in enumerate(zip(sent, received)):
        if a != b:
            return index
    return min(len(sent), len(received))


def describe_difference(sent, received):
    if received == "":
        return "empty line"
    if sent.startswith(received):
        return f"cut: {len(received)} of {len(sent)} characters, the rest missing"
    if sent.endswith(received):
        return f"head missing: the first {len(sent) - len(received)} characters"
    matcher = difflib.SequenceMatcher(None, sent, received, autojunk=False)
    missing, extra = [], []
    for tag, a0, a1, b0, b1 in matcher.get_opcodes():
        if tag in ("delete", "replace"):
            missing.append(f"{a0}..{a1 - 1}" if a1 - a0 > 1 else str(a0))
        if tag in ("insert", "replace"):
            extra.append(received[b0:b1])
    parts = []
    if missing:
        parts.append("characters missing at " + ", ".join(missing))
    if extra:
        parts.append("characters not sent: " + ", ".join(repr(e) for e in extra))
    return "; ".join(parts)


def stop(process, sig, timeout=10):
    if process.poll() is None:
        process.send_signal(sig)
    try:
        return process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        return process.wait()


class SchedulingWatch:
    """offcpu.py on a program: its waits for a CPU, for the diagnosis of losses."""

    def __init__(self, name, pid, out_dir):
        self.path = Path(out_dir) / f"offcpu-{name}.json"
        self.process = subprocess.Popen([sys.executable, str(Path(__file__).with_name("offcpu.py")),
                                         str(pid), str(self.path)])

    def finish(self):
        stop(self.process, signal.SIGTERM)
        return json.loads(self.path.read_text())


def run(bin_dir, lines, out_dir, idle_seconds, label, tellan_timer_slack=None, watch_scheduling=False,
        realtime=()):
    """Sends `lines` once and returns the figures; leaves the raw material in out_dir.
    watch_scheduling: also record when Harkel and Tellan waited for a CPU (a
    real-time watcher that itself costs a little).
    tellan_timer_slack, realtime: what-ifs: Tellan's timer slack in ns; the
    programs ("Harkel", "Tellan") whose main thread runs at real-time priority."""
    out_dir = Path(out_dir)
    out_dir.mkdir(parents=True, exist_ok=True)
    register = out_dir / "register"
    register.unlink(missing_ok=True)  # a fresh register for every run
    env = dict(os.environ, STROBELINK_UI="console", STROBELINK_PORT=str(register))
    env.pop("STROBELINK_DEBUG", None)

    busy = stats.MachineBusy()
    steal_before = stats.steal_seconds()
    load_before = stats.load_average()
    with open(out_dir / "probe-trace.txt", "w") as trace, open(out_dir / "probe-stderr.txt", "w") as probe_err, \
            open(out_dir / "harkel-stderr.txt", "w") as harkel_err, \
            open(out_dir / "tellan-stderr.txt", "w") as tellan_err:
        probe = subprocess.Popen([bin_dir / "linkprobe", "--monotonic"], stdout=trace, stderr=probe_err,
                                 stdin=subprocess.DEVNULL, env=env)
        harkel = subprocess.Popen([bin_dir / "Harkel"], stdout=subprocess.PIPE, stderr=harkel_err,
                                  stdin=subprocess.DEVNULL, env=env)
        reader = ReadLines(harkel.stdout)
        reader.start()
        if "Harkel" in realtime:
            os.sched_setscheduler(harkel.pid, os.SCHED_FIFO, os.sched_param(REALTIME_PRIORITY))
        watches = {}
        if watch_scheduling:
            watches["Harkel"] = SchedulingWatch("Harkel", harkel.pid, out_dir)
        try:
            time.sleep(1)  # both up and settled
            idle_cpu, idle_start = stats.cpu_seconds(harkel.pid), time.monotonic()
            time.sleep(idle_seconds)
            idle_share = (stats.cpu_seconds(harkel.pid) - idle_cpu) / (time.monotonic() - idle_start)

            before = stats.process_status(harkel.pid)
            queue_before = stats.run_queue_seconds(harkel.pid)
            send_cpu, send_start = stats.cpu_seconds(harkel.pid), time.monotonic()
            tellan = subprocess.Popen([bin_dir / "Tellan"], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                      stderr=tellan_err, env=env)
            if tellan_timer_slack is not None:
                # A what-if: the timer slack of Tellan's main thread, which does the sending.
                Path(f"/proc/{tellan.pid}/timerslack_ns").write_text(str(tellan_timer_slack))
            if "Tellan" in realtime:
                os.sched_setscheduler(tellan.pid, os.SCHED_FIFO, os.sched_param(REALTIME_PRIORITY))
            if watch_scheduling:
                watches["Tellan"] = SchedulingWatch("Tellan", tellan.pid, out_dir)
            writer = threading.Thread(target=feed, args=(tellan.stdin, lines), daemon=True)
            writer.start()
            tellan_status = tellan.wait(timeout=len(lines) * 3 + 60)
            send_seconds = time.monotonic() - send_start
            receiving_share = (stats.cpu_seconds(harkel.pid) - send_cpu) / send_seconds
            after = stats.process_status(harkel.pid)
            queue_after = stats.run_queue_seconds(harkel.pid)
            time.sleep(0.5)  # the last line's print
        finally:
            harkel_status = stop(harkel, signal.SIGTERM)
            probe_status = stop(probe, signal.SIGINT)
            reader.join(5)
            waits = {name: watch.finish() for name, watch in watches.items()}
    machine_busy, others_busy = busy.shares()

    received = reader.lines
    (out_dir / "sent.txt").write_text("".join(line + "\n" for line in lines), encoding="latin-1")
    (out_dir / "received.txt").write_text("".join(f"{t:.6f} {line}\n" for t, line in received),
                                          encoding="latin-1")

    transmissions = split_transmissions(read_trace(out_dir / "probe-trace.txt"))
    figures = {
        "label": label,
        "lines_sent": len(lines),
        "exit_status": {"Tellan": tellan_status, "Harkel": harkel_status, "linkprobe": probe_status},
        "send_seconds": send_seconds,
        "load_average_before": load_before,
        "load_average_after": stats.load_average(),
        "machine_busy_share": machine_busy,
        "others_busy_share": others_busy,
        "steal_seconds": stats.steal_seconds() - steal_before,
        "tellan_timer_slack_ns": tellan_timer_slack,
        "realtime": list(realtime),
        "probe": probe_summary(out_dir / "probe-stderr.txt"),
        "harkel_cpu_idle_share": idle_share,
        "harkel_idle_seconds": idle_seconds,
        "harkel_cpu_receiving_share": receiving_share,
        "harkel_context_switches_receiving": {
            "voluntary": after.get("voluntary_ctxt_switches", 0) - before.get("voluntary_ctxt_switches", 0),
            "involuntary": after.get("nonvoluntary_ctxt_switches", 0) - before.get("nonvoluntary_ctxt_switches", 0),
        },
        "harkel_run_queue_wait_seconds": (queue_after - queue_before
                                          if queue_after is not None and queue_before is not None else None),
    }
    figures.update(analyse(lines, [text for _, text in received], [t for t, _ in received], transmissions,
                           waits))
    return figures


def feed(stream, lines):
    try:
        for line in lines:
            stream.write(line.encode("ascii") + b"\n")
            stream.flush()
        stream.close()
    except BrokenPipeError:
        pass


def probe_summary(path):
    text = Path(path).read_text()
    match = re.search(r"(\d+) reads in ([\d.]+) s .*longest gap between reads (\d+) us, (\d+) gaps over 1 ms", text)
    if not match:
        return {"summary": text.strip()}
    reads, seconds, gap, gaps = match.groups()
    return {"reads": int(reads), "seconds": float(seconds),
            "mean_read_interval_us": float(seconds) / int(reads) * 1e6 if int(reads) else None,
            "longest_gap_us": int(gap), "gaps_over_1ms": int(gaps)}


def analyse(sent, received, received_times, transmissions, waits=None):
    # Fidelity: sent against received, line by line in order.
    whole, failures = 0, []
    counts = {"missing": 0, "altered": 0, "extra": 0}
    matched = []  # (sent index, received index)
    wire = wire_map(sent, transmissions)
    # Where the probe missed a change, the wire still carried the line: Tellan
    # cannot skip a write. With one transmission seen per line, position tells.
    timing = dict(wire)
    if len(transmissions) == len(sent):
        timing = {i: wire.get(i, i) for i in range(len(sent))}
    waits = waits or {}

    def failure(kind, i, j):
        entry = describe_failure(kind, sent, i, received, received_times, j, wire, transmissions)
        if i is not None:
            k = timing.get(i)
        else:  # a line Harkel made up: the transmission it arrived in or after
            k = max((n for n, t in enumerate(transmissions) if t.first_edge <= received_times[j]), default=None)
        if k is not None:
            for name, watched in waits.items():
                entry[f"{name}_waits"] = waits_in(watched["waits"], transmissions[k])
        return entry

    for tag, a0, a1, b0, b1 in align(sent, received):
        if tag == "equal":
            whole += a1 - a0
            matched.extend(zip(range(a0, a1), range(b0, b1)))
            continue
        pairs = min(a1 - a0, b1 - b0) if tag == "replace" else 0
        for k in range(pairs):
            counts["altered"] += 1
            failures.append(failure("altered", a0 + k, b0 + k))
        for i in range(a0 + pairs, a1):
            counts["missing"] += 1
            failures.append(failure("missing", i, None))
        for j in range(b0 + pairs, b1):
            counts["extra"] += 1
            failures.append(failure("extra", None, j))

    # Latency of each line received whole whose transmission the probe saw whole.
    excess, stretch, receiver = [], [], []
    for i, j in matched:
        k = wire.get(i)
        if k is None or not transmissions[k].well_formed:
            continue
        t = transmissions[k]
        n = len(sent[i])
        excess.append(received_times[j] - t.first_edge - 2 * HOLD * n)
        stretch.append(t.terminator_edge - t.first_edge - 2 * HOLD * n)
        receiver.append(received_times[j] - t.terminator_edge)

    holds = [h for t in transmissions if t.well_formed for h in t.holds()]
    long_holds = sorted(((h, t.first_edge) for t in transmissions if t.well_formed for h in t.holds()),
                        reverse=True)[:5]
    scheduling = {}
    for name, watched in waits.items():
        lengths = [seconds for _, seconds in watched["waits"]]
        scheduling[name] = {"waits_over_10ms": sum(x > 0.010 for x in lengths),
                            "waits_over_2ms": len(lengths), "longest_wait_s": max(lengths, default=0),
                            "watch_longest_sample_period_s": watched["longest_sample_period_s"]}
    return {
        "scheduling": scheduling,
        "lines_received": len(received),
        "lines_whole": whole,
        "fidelity_share": whole / len(sent) if sent else None,
        "counts": counts,
        "failures": failures,
        "transmissions_seen": len(transmissions),
        "transmissions_well_formed": sum(t.well_formed for t in transmissions),
        "lines_on_wire_as_sent": len(wire),
        "latency": {
            "lines": len(excess),
            "excess_median_s": stats.median(excess),
            "excess_p99_s": stats.percentile(excess, 99),
            "excess_max_s": max(excess, default=None),
            "link_stretch_median_s": stats.median(stretch),
            "link_stretch_p99_s": stats.percentile(stretch, 99),
            "receiver_after_terminator_median_s": stats.median(receiver),
            "receiver_after_terminator_p99_s": stats.percentile(receiver, 99),
            "receiver_after_terminator_max_s": max(receiver, default=None),
        },
        "holds": {
            "count": len(holds),
            "median_s": stats.median(holds),
            "p99_s": stats.percentile(holds, 99),
            "max_s": max(holds, default=None),
            "over_11ms": sum(h > 0.011 for h in holds),
            "longest": [{"hold_s": h, "line_first_edge": t} for h, t in long_holds],
        },
    }


def wire_map(sent, transmissions):
    """Sent line index -> index of the transmission that carried it exactly."""
    mapping = {}
    for tag, a0, a1, b0, _ in align(sent, [t.text for t in transmissions]):
        if tag == "equal":
            mapping.update(zip(range(a0, a1), range(b0, b0 + a1 - a0)))
    return mapping


def waits_in(waits, transmission, before=0.05, after=0.3):
    """The waits for a CPU that overlap a line's time on the wire (and the 0.3 s
    after it), as offsets from its first falling edge, with the characters on
    the wire as the wait began and ended."""
    start, end = transmission.first_edge - before, transmission.changes[-1][0] + after
    falls = [t for t, v in transmission.changes if not v & STROBE]

    def character_at(moment):
        return sum(t <= moment for t in falls) - 1

    return [{"from_s": round(seen - seconds - transmission.first_edge, 6), "seconds": round(seconds, 6),
             "from_character": character_at(seen - seconds), "to_character": character_at(seen)}
            for seen, seconds in waits if seen - seconds <= end and seen >= start]


def describe_failure(kind, sent, i, received, received_times, j, wire, transmissions):
    entry = {"kind": kind}
    if i is not None:
        entry.update(line=i + 1, sent=sent[i], sent_length=len(sent[i]))
        k = wire.get(i)
        entry["on_wire_as_sent"] = k is not None
        if k is not None:
            t = transmissions[k]
            holds = t.holds()
            longest = max(range(len(holds)), key=holds.__getitem__) if holds else None
            entry.update(first_edge=t.first_edge, wire_well_formed=t.well_formed,
                         longest_hold_s=holds[longest] if holds else None,
                         longest_hold_write=longest)
    if j is not None:
        entry.update(received_line=j + 1, received=received[j], received_at=received_times[j])
        # What the wire carried around that moment, for lines Harkel made up.
        before = [t for t in transmissions if t.first_edge <= received_times[j]]
        if before:
            t = before[-1]
            entry.update(nearest_wire_text=t.text, nearest_wire_first_edge=t.first_edge,
                         nearest_wire_terminator_edge=t.terminator_edge,
                         nearest_wire_end=t.changes[-1][0])
    if kind == "altered":
        entry["how"] = describe_difference(sent[i], received[j])
        entry["first_lost_character"] = first_lost(sent[i], received[j])
    elif kind == "extra":
        entry["how"] = "extra empty line" if received[j] == "" else "extra line"
    return entry
