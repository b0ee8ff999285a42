"""Watches a process's main thread from a real-time priority and records when it
was kept off a CPU: each wait on a run queue longer than a threshold, and each
time the watch itself was held up as long, which within this machine only the
hypervisor can do to a real-time thread. The direct evidence when characters
go missing.

The kernel adds a wait to /proc/<pid>/schedstat (its second field) in one step,
when the thread finally gets a CPU; read every millisecond, a step of X ms
means a wait of at least X - 1 ms that ended in that millisecond.

Usage: offcpu.py PID OUTPUT.json [THRESHOLD_SECONDS]   (root; stops at SIGTERM)
"""

import json
import os
import signal
import sys
import time

PERIOD = 0.001


def main():
    pid, output = int(sys.argv[1]), sys.argv[2]
    threshold = float(sys.argv[3]) if len(sys.argv) > 3 else 0.002
    # Above every ordinary task, so that the watch is not itself held off.
    os.sched_setscheduler(0, os.SCHED_FIFO, os.sched_param(10))
    stopping = []
    signal.signal(signal.SIGTERM, lambda *_: stopping.append(True))

    waits, stalls, samples, longest_period = [], [], 0, 0.0
    previous = previous_time = None
    try:
        schedstat_fd = os.open(f"/proc/{pid}/schedstat", os.O_RDONLY)
        while not stopping:
            try:
                waited = int(os.pread(schedstat_fd, 128, 0).split()[1]) / 1e9
            except OSError:
                break  # the process has ended
            now = time.monotonic()
            if previous is not None:
                longest_period = max(longest_period, now - previous_time)
                if now - previous_time >= threshold:
                    # Nothing in this machine holds off a real-time thread this
                    # long: its virtual core was not running.
                    stalls.append([now, now - previous_time])
                if waited - previous >= threshold:
                    waits.append([now, waited - previous])  # [seen at, seconds]
            previous, previous_time = waited, now
            samples += 1
            time.sleep(PERIOD)
    except FileNotFoundError:
        pass
    with open(output, "w") as out:
        json.dump({"pid": pid, "threshold_s": threshold, "samples": samples,
                   "longest_sample_period_s": longest_period, "waits": waits,
                   "watch_stalls": stalls,  # [seen at, seconds]
                   }, out)


if __name__ == "__main__":
    main()
