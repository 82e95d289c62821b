#!/usr/bin/env python3
"""Peak resident memory and CPU per side of a G.711 call between two h323-endpoint processes
registered with service-sim, for one or more builds run alternately in the same run.

    bench/call_footprint.py [--rounds 5] [--seconds 10] LABEL=BUILD_DIR [LABEL=BUILD_DIR ...]
    bench/call_footprint.py --baseline REF LABEL=BUILD_DIR   # also builds REF and runs it first

Each BUILD_DIR is a configured build tree with tools/h323-endpoint/h323-endpoint and
tools/service-sim/service-sim built. For every round and build: a simulator, a callee (8002,
answers at once) and a caller (8001) that hangs up after --seconds; each side's peak resident
set (VmHWM) is read when its call has cleared, and its CPU time (all threads, from the
scheduler's statistics) is taken over the call less its first and last half second and divided
by that time. Prints the medians (and min-max) per build and
side, and the ratios of each build's medians to the first build's.
"""
import argparse
import os
import re
import select
import shutil
import statistics
import subprocess
import sys
import tempfile
import time


def cpu_seconds(pid):
    """CPU time of the process's threads, in ns precision (the scheduler's own account)."""
    total = 0
    for task in os.listdir(f"/proc/{pid}/task"):
        try:
            with open(f"/proc/{pid}/task/{task}/schedstat") as f:
                total += int(f.read().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            pass  # the thread has just ended
    return total / 1e9


def peak_kib(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


class Process:
    def __init__(self, args, env):
        self.proc = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                     env=env)
        self.lines = []
        self.partial = b""

    def wait_for(self, pattern, timeout):
        end = time.monotonic() + timeout
        regex = re.compile(pattern)
        while True:
            for line in self.lines:
                if regex.search(line):
                    return line
            left = end - time.monotonic()
            if left <= 0:
                break
            ready, _, _ = select.select([self.proc.stdout], [], [], min(left, 0.1))
            if ready:
                data = os.read(self.proc.stdout.fileno(), 65536)
                if not data:
                    break
                *complete, self.partial = (self.partial + data).split(b"\n")
                self.lines += [line.decode(errors="replace").strip() for line in complete]
        raise RuntimeError(f"no '{pattern}' within {timeout} s; got {self.lines[-5:]}")

    def stop(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()


def one_call(build, seconds):
    env = dict(os.environ, KESTRELIN_SOUND="null")
    sim = Process([f"{build}/tools/service-sim/service-sim", "--service-port", "0",
                   "--ras-port", "0", "--nat-port", "0"], env)
    procs = [sim]
    try:
        ras = sim.wait_for(r"ras gatekeeper on udp", 10)
        gatekeeper = re.search(r"udp (\S+),", ras).group(1)
        endpoint = f"{build}/tools/h323-endpoint/h323-endpoint"
        common = ["--gatekeeper", gatekeeper, "--password", "demo", "--listen", "0",
                  "--codecs", "PCMU", "--max-seconds", str(seconds + 30)]
        callee = Process([endpoint, "--alias", "8002", "--answer", "now",
                          "--rtp-ports", "40000-40999"] + common, env)
        procs.append(callee)
        callee.wait_for(r"^REGISTERED", 10)
        caller = Process([endpoint, "--alias", "8001", "--call", "8002",
                          "--hangup-after", str(seconds), "--rtp-ports", "41000-41999"] + common,
                         env)
        procs.append(caller)
        sides = {"caller": caller, "callee": callee}
        for p in sides.values():
            p.wait_for(r"^CONNECTED", 15)
        # The call's steady state: from half a second after it connected to half a second
        # before the hang-up, with every thread of each side counted.
        time.sleep(0.5)
        start = {name: (time.monotonic(), cpu_seconds(p.proc.pid)) for name, p in sides.items()}
        time.sleep(seconds - 1.0)
        cpu = {}
        for name, p in sides.items():
            now, used = time.monotonic(), cpu_seconds(p.proc.pid)
            cpu[name] = 1000.0 * (used - start[name][1]) / (now - start[name][0])
        result = {}
        for name, p in sides.items():
            p.wait_for(r"^CLEARED", 20)
            result[name] = (peak_kib(p.proc.pid) / 1024.0, cpu[name])
        return result
    finally:
        for p in reversed(procs):
            p.stop()


def build_ref(ref, source):
    """Builds the two tools of a commit (its files, exported) in a tree of its own; returns the
    build tree."""
    commit = subprocess.run(["git", "-C", source, "rev-parse", "--verify", ref + "^{commit}"],
                            check=True, capture_output=True, text=True).stdout.strip()
    work = os.path.join(tempfile.gettempdir(), f"kestrelin-footprint-{commit[:12]}")
    tree, build = os.path.join(work, "src"), os.path.join(work, "build")
    if not os.path.isdir(tree):
        os.makedirs(tree)
        archive = subprocess.Popen(["git", "-C", source, "archive", commit],
                                   stdout=subprocess.PIPE)
        subprocess.run(["tar", "-x", "-C", tree], stdin=archive.stdout, check=True)
        if archive.wait() != 0:
            raise RuntimeError(f"cannot export {ref}")
    # The project's default build type, as the tree it is compared with; ccache when there is one.
    configure = ["cmake", "-S", tree, "-B", build, "-G", "Ninja", "-DKESTRELIN_BENCH=OFF"]
    if shutil.which("ccache"):
        configure += ["-DCMAKE_CXX_COMPILER_LAUNCHER=ccache", "-DCMAKE_C_COMPILER_LAUNCHER=ccache"]
    subprocess.run(configure, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", build, "-j6", "--target", "h323-endpoint",
                    "service-sim"], check=True, stdout=subprocess.DEVNULL)
    return build


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--seconds", type=int, default=10, help="length of each call")
    parser.add_argument("--baseline", metavar="REF", help="build this commit and run it first")
    parser.add_argument("builds", nargs="+", metavar="LABEL=BUILD_DIR")
    args = parser.parse_args()

    builds = [b.split("=", 1) for b in args.builds]
    if args.baseline:
        source = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
        builds.insert(0, [args.baseline, build_ref(args.baseline, source)])
    samples = {label: {"caller": [], "callee": []} for label, _ in builds}
    for r in range(args.rounds):
        # Alternate the order, so neither build always runs on a warmer machine.
        order = builds if r % 2 == 0 else list(reversed(builds))
        for label, build in order:
            for side, values in one_call(build, args.seconds).items():
                samples[label][side].append(values)
            print(f"round {r + 1} {label}: " + ", ".join(
                f"{s} {v[-1][0]:.1f} MiB {v[-1][1]:.2f} ms/s" for s, v in samples[label].items()),
                file=sys.stderr)

    def median(label, side, i):
        return statistics.median(v[i] for v in samples[label][side])

    first = builds[0][0]
    print(f"G.711 call of {args.seconds} s, {args.rounds} rounds; medians (min-max)")
    for label, _ in builds:
        for side in ("caller", "callee"):
            rss = [v[0] for v in samples[label][side]]
            cpu = [v[1] for v in samples[label][side]]
            line = (f"{label:>12} {side}: peak RSS {median(label, side, 0):6.2f} MiB "
                    f"({min(rss):.2f}-{max(rss):.2f}), CPU {median(label, side, 1):5.2f} ms/s "
                    f"({min(cpu):.2f}-{max(cpu):.2f})")
            if label != first:
                line += (f"; vs {first}: RSS x{median(label, side, 0) / median(first, side, 0):.2f},"
                         f" CPU x{median(label, side, 1) / median(first, side, 1):.2f}")
            print(line)


if __name__ == "__main__":
    main()
