"""Start-up time and peak memory of programs in real windows on a virtual X server.

Start-up runs from just before the program is started to the moment the X
server maps its window. Rather than poll `xdotool search --onlyvisible` (a new
process each time, some milliseconds a round, and competing with the program
for two cores), the harness is itself an X client listening for MapNotify on
the root window: the server tells it as it maps the window. With no window
manager a mapped top-level window is viewable at once; xdotool then confirms
that the window is visible under the program's title.
"""

import os
import queue
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import threading
import time
from pathlib import Path

import stats

MAP_NOTIFY = 19
CW_EVENT_MASK = 0x800
SUBSTRUCTURE_NOTIFY_MASK = 0x80000
CHANGE_WINDOW_ATTRIBUTES = 2


class MapWatcher(threading.Thread):
    """A minimal X11 client: reports each top-level window the server maps."""

    def __init__(self, display_number):
        super().__init__(daemon=True)
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(f"/tmp/.X11-unix/X{display_number}")
        # Little-endian, protocol 11.0, no authorisation: our Xvfb asks for none.
        self.sock.sendall(struct.pack("<BxHHHH2x", ord("l"), 11, 0, 0, 0))
        header = self._receive(8)
        if header[0] != 1:
            raise RuntimeError("the X server refused the connection")
        setup = self._receive(struct.unpack_from("<H", header, 6)[0] * 4)
        vendor_length, = struct.unpack_from("<H", setup, 16)
        formats = setup[21]
        root_offset = 32 + (vendor_length + 3) // 4 * 4 + 8 * formats
        root, = struct.unpack_from("<I", setup, root_offset)
        self.sock.sendall(struct.pack("<BxHIII", CHANGE_WINDOW_ATTRIBUTES, 4, root, CW_EVENT_MASK,
                                      SUBSTRUCTURE_NOTIFY_MASK))
        self.maps = queue.Queue()  # (time, window)

    def _receive(self, size):
        data = b""
        while len(data) < size:
            chunk = self.sock.recv(size - len(data))
            if not chunk:
                raise EOFError("the X server closed the connection")
            data += chunk
        return data

    def run(self):
        try:
            while True:
                event = self._receive(32)
                now = time.monotonic()
                if event[0] & 0x7F == MAP_NOTIFY and not event[12]:  # not override-redirect
                    self.maps.put((now, struct.unpack_from("<I", event, 8)[0]))
        except (EOFError, OSError):
            pass

    def drain(self):
        while not self.maps.empty():
            self.maps.get_nowait()


def start_xvfb(work):
    """An X server of our own; Xvfb picks a free display number and tells it on a pipe."""
    read_end, write_end = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0", "1280x1024x24",
                             "-nolisten", "tcp"], pass_fds=(write_end,),
                            stdout=subprocess.DEVNULL, stderr=open(work / "xvfb.log", "w"))
    os.close(write_end)
    number = b""
    with os.fdopen(read_end, "rb") as pipe:
        while not number.endswith(b"\n"):
            chunk = pipe.read(1)
            if not chunk:
                raise RuntimeError("Xvfb did not start; see " + str(work / "xvfb.log"))
            number += chunk
    return xvfb, int(number)


def window_name(window, env):
    result = subprocess.run(["xdotool", "getwindowname", str(window)], env=env, capture_output=True, text=True)
    return result.stdout.strip()


def visible(title, env):
    result = subprocess.run(["xdotool", "search", "--onlyvisible", "--name", f"^{title}$"], env=env,
                            capture_output=True, text=True)
    return [int(w) for w in result.stdout.split()]


def one_start(program, title, env, watcher, work, settle):
    run_env = dict(env, STROBELINK_PORT=str(Path(tempfile.mkdtemp(dir=work)) / "register"))
    watcher.drain()
    started = time.monotonic()
    process = subprocess.Popen([program], env=run_env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        mapped, window = watcher.maps.get(timeout=30)
        startup = mapped - started
        if window not in visible(title, run_env):
            raise RuntimeError(f"{program}: the window mapped ({window:#x}, "
                               f"{window_name(window, run_env)!r}) is not a visible {title!r}")
        time.sleep(settle)  # let it draw and settle before its peak is read
        status = stats.process_status(process.pid)
        cpu = stats.cpu_seconds(process.pid)
    finally:
        process.send_signal(signal.SIGTERM)
        try:
            process.wait(10)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
    return {"startup_s": startup, "vm_hwm_kb": status.get("VmHWM"), "vm_rss_kb": status.get("VmRSS"),
            "cpu_s_to_settled": cpu}


def idle_cpu(program, env, watcher, work, seconds):
    """CPU share of a program whose window is up and which is left alone."""
    run_env = dict(env, STROBELINK_PORT=str(Path(tempfile.mkdtemp(dir=work)) / "register"))
    watcher.drain()
    process = subprocess.Popen([program], env=run_env, stdin=subprocess.DEVNULL,
                               stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        watcher.maps.get(timeout=30)
        time.sleep(1)
        before, start = stats.cpu_seconds(process.pid), time.monotonic()
        time.sleep(seconds)
        return (stats.cpu_seconds(process.pid) - before) / (time.monotonic() - start)
    finally:
        process.send_signal(signal.SIGTERM)
        process.wait(10)


def run(programs, trials, idle_seconds, settle=1.0):
    """programs: {name: (path, window title)}. Starts each in turn, `trials` rounds
    after one warm-up round that is not counted (it fills the disk cache and
    fontconfig's caches)."""
    busy = stats.MachineBusy()
    work = Path(tempfile.mkdtemp(prefix="strobelink-bench-"))
    runtime_dir = work / "xdg-runtime"
    runtime_dir.mkdir(mode=0o700)
    xvfb, display = start_xvfb(work)
    env = dict(os.environ, DISPLAY=f":{display}", STROBELINK_UI="window", XDG_RUNTIME_DIR=str(runtime_dir))
    for name in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "STROBELINK_DEBUG", "XAUTHORITY"):
        env.pop(name, None)
    results = {name: [] for name in programs}
    try:
        watcher = MapWatcher(display)
        watcher.start()
        for round_number in range(trials + 1):
            for name, (path, title) in programs.items():
                figures = one_start(path, title, env, watcher, work, settle)
                if round_number > 0:
                    results[name].append(figures)
        harkel_idle = idle_cpu(programs["Harkel"][0], env, watcher, work, idle_seconds) \
            if "Harkel" in programs else None
    finally:
        xvfb.send_signal(signal.SIGTERM)
        xvfb.wait(10)
        shutil.rmtree(work, ignore_errors=True)

    summary = {"load_average_after": stats.load_average()}
    summary["machine_busy_share"], summary["others_busy_share"] = busy.shares()
    for name, runs in results.items():
        summary[name] = {
            "trials": len(runs),
            "startup_median_s": stats.median([r["startup_s"] for r in runs]),
            "startup_min_s": min(r["startup_s"] for r in runs),
            "startup_max_s": max(r["startup_s"] for r in runs),
            "vm_hwm_median_kb": stats.median([r["vm_hwm_kb"] for r in runs]),
            "vm_rss_median_kb": stats.median([r["vm_rss_kb"] for r in runs]),
            "cpu_s_to_settled_median": stats.median([r["cpu_s_to_settled"] for r in runs]),
            "runs": runs,
        }
    summary["harkel_window_idle_cpu_share"] = harkel_idle
    summary["harkel_window_idle_seconds"] = idle_seconds
    return summary
