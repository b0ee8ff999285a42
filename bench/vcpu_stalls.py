"""How long this machine's cores stop running now and then: on each core a
real-time thread sleeps 1 ms at a time and notes every wake-up that comes late.
Nothing inside a quiet guest holds off a real-time thread for milliseconds, so
long late wake-ups are the hypervisor not running the virtual core (or not
delivering its timer). A receiver that must look at the register at least once
in each 10 ms hold loses a character whenever its core stops that long.

Usage: vcpu_stalls.py [SECONDS]   (root; default 60; prints JSON)
"""

import json
import os
import sys
import time

PERIOD = 0.001
LATE = (0.002, 0.005, 0.010, 0.020)


def watch(core, seconds):
    os.sched_setaffinity(0, {core})
    os.sched_setscheduler(0, os.SCHED_FIFO, os.sched_param(10))
    late = []
    end = time.monotonic() + seconds
    previous = time.monotonic()
    samples = 0
    while previous < end:
        time.sleep(PERIOD)
        now = time.monotonic()
        if now - previous - PERIOD >= LATE[0]:
            late.append(round(now - previous - PERIOD, 6))
        previous = now
        samples += 1
    return {
        "samples": samples,
        **{f"late_over_{int(limit * 1000)}ms": sum(x > limit for x in late) for limit in LATE},
        "latest_s": max(late, default=0.0),
    }


def main():
    seconds = float(sys.argv[1]) if len(sys.argv) > 1 else 60
    # A process per core, so that neither waits for the other's interpreter lock.
    children = {}
    for core in sorted(os.sched_getaffinity(0)):
        read_end, write_end = os.pipe()
        if os.fork() == 0:
            os.close(read_end)
            os.write(write_end, json.dumps(watch(core, seconds)).encode())
            os._exit(0)
        os.close(write_end)
        children[core] = read_end
    results = {}
    for core, read_end in children.items():
        with os.fdopen(read_end, "rb") as pipe:
            results[core] = json.loads(pipe.read())
        os.wait()
    print(json.dumps({"seconds": seconds, "cores": results}, indent=1))


if __name__ == "__main__":
    main()
