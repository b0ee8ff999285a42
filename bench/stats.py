"""Small figures the benchmarks share: order statistics, process and machine readings."""

import math
import os
import resource
import time


def median(values):
    ordered = sorted(values)
    if not ordered:
        return None
    middle = len(ordered) // 2
    if len(ordered) % 2:
        return ordered[middle]
    return (ordered[middle - 1] + ordered[middle]) / 2


def percentile(values, share):
    """Nearest rank: the smallest value that at least `share` percent of them do not exceed."""
    ordered = sorted(values)
    if not ordered:
        return None
    rank = max(1, math.ceil(share / 100 * len(ordered)))
    return ordered[rank - 1]


def cpu_seconds(pid):
    """User and system time of all the process's threads, from /proc/<pid>/stat."""
    with open(f"/proc/{pid}/stat") as stat:
        # The command name may hold spaces; the fields after it do not.
        fields = stat.read().rsplit(")", 1)[1].split()
    utime, stime = int(fields[11]), int(fields[12])  # fields 14 and 15 of the file
    return (utime + stime) / os.sysconf("SC_CLK_TCK")


def process_status(pid):
    """The numeric fields of /proc/<pid>/status, kB figures in kB."""
    status = {}
    with open(f"/proc/{pid}/status") as lines:
        for line in lines:
            key, _, value = line.partition(":")
            words = value.split()
            if words and words[0].isdigit():
                status[key] = int(words[0])
    return status


def run_queue_seconds(pid):
    """Time the process's main thread spent ready to run but not running."""
    try:
        with open(f"/proc/{pid}/schedstat") as schedstat:
            return int(schedstat.read().split()[1]) / 1e9
    except OSError:
        return None


class MachineBusy:
    """CPU time all cores spent busy since creation, from /proc/stat, beside the
    CPU time of this process and its waited-for children: what remains is
    everyone else's."""

    def __init__(self):
        self.start = self._read()

    @staticmethod
    def _read():
        with open("/proc/stat") as stat:
            values = [int(v) for v in stat.readline().split()[1:8]]
        busy = (sum(values) - values[3] - values[4]) / os.sysconf("SC_CLK_TCK")  # less idle and iowait
        own = resource.getrusage(resource.RUSAGE_SELF), resource.getrusage(resource.RUSAGE_CHILDREN)
        return time.monotonic(), busy, sum(r.ru_utime + r.ru_stime for r in own)

    def shares(self):
        """(busy, busy with others' work) as shares of all cores."""
        now, busy, own = self._read()
        capacity = (now - self.start[0]) * os.cpu_count()
        busy -= self.start[1]
        return busy / capacity, max(0.0, busy - (own - self.start[2])) / capacity


def wait_for_quiet(limit_seconds, threshold=0.10, sample_seconds=10, report=print):
    """Waits until the machine has been less than `threshold` busy for a sample,
    at most `limit_seconds`; returns the last sample's busy share."""
    deadline = time.monotonic() + limit_seconds
    while True:
        sample = MachineBusy()
        time.sleep(sample_seconds)
        busy = sample.shares()[0]
        if busy < threshold or time.monotonic() >= deadline:
            return busy
        report(f"machine {busy * 100:.0f} % busy with other work; waiting for it to calm down")


def steal_seconds():
    """CPU time the hypervisor took from this machine's virtual cores."""
    with open("/proc/stat") as stat:
        values = stat.readline().split()
    return int(values[8]) / os.sysconf("SC_CLK_TCK") if len(values) > 8 else 0.0


def load_average():
    with open("/proc/loadavg") as loadavg:
        return [float(v) for v in loadavg.read().split()[:3]]
