#!/usr/bin/env python3
"""The end-to-end benchmark behind bench/run.sh (which sets up the tools and the build).

On one generated client update (bench/gen_client.py) it measures, in one run:
  - `mrpatch build` against the peers' encoders (xdelta3 default and with -B set to the
    old file's size, zstd --long=31 --patch-from, rdiff signature + delta, bsdiff up to
    256 MiB): time, peak resident memory, patch size;
  - `mrpatch apply` against cp of the new files (the physical limit), cp + fsync (the
    limit for a durable write) and each peer's apply with and without an fsync of its
    output: wall time (median of several runs, with a warm and a cold page cache), CPU
    time and peak resident memory (/usr/bin/time -v);
  - MD5 throughput against OpenSSL (bench/md5);
and prints one table with every figure and the ratios, writes it to bench/RESULTS.md with
the machine and the tool versions, and says whether each target holds.

Every method's output is compared with the new client byte for byte after its first run;
a method whose output differs is reported and fails the benchmark.
"""

import argparse
import datetime
import filecmp
import json
import os
import platform
import random
import re
import shlex
import shutil
import statistics
import subprocess
import sys
import time

MiB = 1 << 20
BSDIFF_LIMIT_MB = 256  # bsdiff needs about 9 GiB and 20 minutes at 1 GiB

# Targets (see docs/benchmarks.md).
APPLY_VS_CP_FSYNC = 1.10
RSS_ALLOWANCE = 8 * MiB
MD5_VS_OPENSSL = 0.9
PACKAGE_VS_ORACLE = 1.05
BUILD_VS_RDIFF = 1.5


def log(text):
    print(text, file=sys.stderr, flush=True)


def q(path):
    return shlex.quote(str(path))


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, **kw)


def output(cmd):
    try:
        r = subprocess.run(cmd, capture_output=True, text=True)
        return (r.stdout + r.stderr).strip()
    except OSError:
        return ""


def size_of(path):
    return os.path.getsize(path)


class Timed:
    """One measured command: wall seconds, CPU seconds, peak RSS in bytes."""

    def __init__(self, wall, cpu, rss):
        self.wall, self.cpu, self.rss = wall, cpu, rss


def timed_shell(script, scratch):
    """Runs `script` under sh, inside /usr/bin/time -v; returns a Timed.

    The wall time is taken around the whole child; /usr/bin/time reports the CPU time and
    the largest resident set of the process tree."""
    report = os.path.join(scratch, "time.txt")
    start = time.perf_counter()
    r = subprocess.run(["/usr/bin/time", "-v", "-o", report, "sh", "-ec", script],
                       stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    wall = time.perf_counter() - start
    if r.returncode != 0:
        raise RuntimeError(f"command failed ({r.returncode}): {script}\n{r.stderr[-2000:]}")
    text = open(report).read()
    user = float(re.search(r"User time \(seconds\): ([\d.]+)", text).group(1))
    system = float(re.search(r"System time \(seconds\): ([\d.]+)", text).group(1))
    rss = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", text).group(1)) * 1024
    return Timed(wall, user + system, rss)


def load_average():
    with open("/proc/loadavg") as f:
        return f.read().split()[0]


def sync():
    os.sync()


def drop_caches():
    """True when the page cache could be dropped."""
    sync()
    try:
        with open("/proc/sys/vm/drop_caches", "w") as f:
            f.write("3\n")
        return True
    except OSError:
        return False


def read_through(paths):
    """Brings files into the page cache (for the warm runs)."""
    buf = bytearray(8 * MiB)
    for p in paths:
        with open(p, "rb", buffering=0) as f:
            while f.readinto(buf):
                pass


# ---- The peers ---------------------------------------------------------------------------

class Peer:
    """A delta tool: how it builds a patch for one file and applies it."""

    def __init__(self, name, build, apply):
        self.name = name
        self._build = build  # (old, new, patch, scratch) -> shell text
        self._apply = apply  # (old, patch, out) -> shell text

    def build(self, old, new, patch, scratch):
        return self._build(old, new, patch, scratch)

    def apply(self, old, patch, out):
        return self._apply(old, patch, out)


def xdelta_window(old):
    return max(size_of(old), 512 << 10)  # xdelta3's smallest -B


PEERS = [
    Peer("xdelta3",
         lambda o, n, p, s: f"xdelta3 -e -f -s {q(o)} {q(n)} {q(p)}",
         lambda o, p, out: f"xdelta3 -d -f -s {q(o)} {q(p)} {q(out)}"),
    Peer("xdelta3 -B",
         lambda o, n, p, s: f"xdelta3 -e -f -B {xdelta_window(o)} -s {q(o)} {q(n)} {q(p)}",
         lambda o, p, out: f"xdelta3 -d -f -B {xdelta_window(o)} -s {q(o)} {q(p)} {q(out)}"),
    Peer("zstd --patch-from",
         lambda o, n, p, s: f"zstd -q -f --long=31 --patch-from={q(o)} {q(n)} -o {q(p)}",
         lambda o, p, out: f"zstd -q -d -f --long=31 --patch-from={q(o)} {q(p)} -o {q(out)}"),
    Peer("rdiff",
         lambda o, n, p, s: (f"rdiff -f signature {q(o)} {q(s)}/rdiff.sig && "
                             f"rdiff -f delta {q(s)}/rdiff.sig {q(n)} {q(p)} && "
                             f"rm -f {q(s)}/rdiff.sig"),
         lambda o, p, out: f"rdiff -f patch {q(o)} {q(p)} {q(out)}"),
    Peer("bsdiff",
         lambda o, n, p, s: f"bsdiff {q(o)} {q(n)} {q(p)}",
         lambda o, p, out: f"bspatch {q(o)} {q(out)} {q(p)}"),
]


# ---- The benchmark -----------------------------------------------------------------------

class Bench:
    def __init__(self, args):
        self.args = args
        self.root = os.path.abspath(args.root)
        self.build_dir = os.path.abspath(args.build)
        self.mrpatch = os.path.join(self.build_dir, "src/cli/mrpatch")
        self.md5_bench = os.path.join(self.build_dir, "bench/md5/md5_bench")
        self.work = os.path.abspath(args.work)
        self.client = os.path.join(self.work, f"client-{args.size_mb}-{args.seed}")
        self.old = os.path.join(self.client, "old")
        self.new = os.path.join(self.client, "new")
        self.scratch = os.path.join(self.work, "scratch")
        self.patches = os.path.join(self.work, "patches")
        self.package = os.path.join(self.patches, "mrpatch.pkgdata")
        self.notes = []
        self.failures = []
        self.peers = [p for p in PEERS
                      if p.name != "bsdiff" or args.size_mb <= BSDIFF_LIMIT_MB]
        if args.size_mb > BSDIFF_LIMIT_MB:
            self.notes.append(f"bsdiff left out: the largest archive is {args.size_mb} MiB, "
                              f"over the {BSDIFF_LIMIT_MB} MiB it can handle in reasonable "
                              "time and memory.")

    # -- the client --

    def generate(self):
        summary = os.path.join(self.client, "summary.json")
        if not os.path.exists(summary):
            log(f"generating the client ({self.args.size_mb} MiB, seed {self.args.seed})")
            shutil.rmtree(self.client, ignore_errors=True)
            start = time.perf_counter()
            run([sys.executable, os.path.join(self.root, "bench/gen_client.py"), self.client,
                 "--size-mb", str(self.args.size_mb), "--seed", str(self.args.seed)])
            log(f"  generated in {time.perf_counter() - start:.1f} s")
        with open(summary) as f:
            self.summary = json.load(f)
        # Files the update writes: changed and added ones.
        self.files = sorted(self.summary["changed"] + self.summary["added"])
        self.new_bytes = sum(size_of(os.path.join(self.new, f)) for f in self.files)
        os.makedirs(self.scratch, exist_ok=True)
        os.makedirs(self.patches, exist_ok=True)
        self.empty = os.path.join(self.scratch, "empty")
        open(self.empty, "wb").close()
        self.one_byte = os.path.join(self.scratch, "one-byte")  # bsdiff cannot map nothing
        with open(self.one_byte, "wb") as f:
            f.write(b"\0")

    def old_of(self, f, peer=None):
        path = os.path.join(self.old, f)
        if os.path.exists(path):
            return path
        return self.one_byte if peer is not None and peer.name == "bsdiff" else self.empty

    def patch_of(self, peer, f):
        return os.path.join(self.patches, peer.name.replace(" ", "_"), f.replace("/", "_"))

    # -- builds --

    def build_ours(self):
        return timed_shell(f"{q(self.mrpatch)} build --old {q(self.old)} --new {q(self.new)} "
                           f"-o {q(self.package)} >/dev/null", self.scratch)

    def build_peer(self, peer):
        os.makedirs(os.path.dirname(self.patch_of(peer, self.files[0])), exist_ok=True)
        script = " && ".join(peer.build(self.old_of(f, peer), os.path.join(self.new, f),
                                        self.patch_of(peer, f), self.scratch)
                             for f in self.files)
        return timed_shell(script, self.scratch)

    def builds(self):
        """Build figures per method: median wall of `build_runs` runs, RSS, patch size."""
        self.build = {}
        runs = self.args.build_runs
        # Ours and rdiff (the build-time target compares the two) run several times,
        # alternately; the slower peers run once.
        samples = {"mrpatch": [], "rdiff": []}
        rdiff = next(p for p in self.peers if p.name == "rdiff")
        for i in range(runs):
            for name in ("mrpatch", "rdiff"):
                read_through([os.path.join(self.old, f) for f in self.files
                              if os.path.exists(os.path.join(self.old, f))] +
                             [os.path.join(self.new, f) for f in self.files])
                sync()
                t = self.build_ours() if name == "mrpatch" else self.build_peer(rdiff)
                samples[name].append(t)
                log(f"  build {name} run {i + 1}: {t.wall:.2f} s")
        for name, ts in samples.items():
            self.build[name] = self.summarize_build(ts)
        self.build["mrpatch"]["size"] = size_of(self.package)
        self.build["rdiff"]["size"] = self.patch_size(rdiff)
        for peer in self.peers:
            if peer.name == "rdiff":
                continue
            sync()
            t = self.build_peer(peer)
            log(f"  build {peer.name}: {t.wall:.2f} s")
            self.build[peer.name] = self.summarize_build([t])
            self.build[peer.name]["size"] = self.patch_size(peer)

    @staticmethod
    def summarize_build(ts):
        return {"wall": statistics.median(t.wall for t in ts),
                "cpu": statistics.median(t.cpu for t in ts),
                "rss": max(t.rss for t in ts), "runs": len(ts)}

    def patch_size(self, peer):
        return sum(size_of(self.patch_of(peer, f)) for f in self.files)

    def package_figures(self):
        info = json.loads(output([self.mrpatch, "inspect", "--json", self.package]))
        archive = 0
        for e in info["entries"]:
            if e["kind"] == "archive":
                archive += 1100 + 12 * e["blockCount"] + e["dataSize"]
        self.archive_entries = archive
        self.oracle = self.summary["oracle_archives_total"]

    # -- applies --

    def methods(self):
        """(name, durable, prepare, script, inputs, outputs) for every apply method."""
        out = os.path.join(self.scratch, "out")
        inst = os.path.join(self.scratch, "install")
        outs = [os.path.join(out, f) for f in self.files]
        news = [os.path.join(self.new, f) for f in self.files]
        olds = [os.path.join(self.old, f) for f in self.files
                if os.path.exists(os.path.join(self.old, f))]
        fsync = "sync " + " ".join(q(o) for o in outs)
        copy = " && ".join(f"cp {q(n)} {q(o)}" for n, o in zip(news, outs))
        folders = sorted({os.path.dirname(o) for o in outs})

        def fresh_out():
            shutil.rmtree(out, ignore_errors=True)
            for d in folders:
                os.makedirs(d, exist_ok=True)

        def fresh_install():
            shutil.rmtree(inst, ignore_errors=True)
            # Hard links: the patcher replaces files by renaming, never writes into them,
            # so the pristine old client stays as it is.
            run(["cp", "-al", self.old, inst])

        m = [("cp", False, fresh_out, copy, news, outs),
             ("cp + fsync", True, fresh_out, f"{copy} && {fsync}", news, outs),
             ("mrpatch apply", True, fresh_install,
              f"{q(self.mrpatch)} apply --package {q(self.package)} --install-dir {q(inst)} "
              "--no --quiet >/dev/null", olds + [self.package],
              [os.path.join(inst, f) for f in self.files])]
        for peer in self.peers:
            script = " && ".join(peer.apply(self.old_of(f, peer), self.patch_of(peer, f),
                                            os.path.join(out, f)) for f in self.files)
            inputs = olds + [self.patch_of(peer, f) for f in self.files]
            m.append((peer.name, False, fresh_out, script, inputs, outs))
            m.append((peer.name + " + fsync", True, fresh_out, f"{script} && {fsync}",
                      inputs, outs))
        return m

    def check_output(self, name, outputs):
        for f, produced in zip(self.files, outputs):
            if not filecmp.cmp(produced, os.path.join(self.new, f), shallow=False):
                self.failures.append(f"{name}: {f} differs from the new client")
                return
        if name == "mrpatch apply":
            inst = os.path.join(self.scratch, "install")
            for f in self.summary["unchanged"]:
                if not filecmp.cmp(os.path.join(inst, f), os.path.join(self.new, f),
                                   shallow=False):
                    self.failures.append(f"{name}: {f} differs from the new client")

    def applies(self):
        methods = self.methods()
        self.can_drop = drop_caches()
        caches = ["warm", "cold"] if self.can_drop else ["warm"]
        if not self.can_drop:
            self.notes.append("The page cache could not be dropped (writing "
                              "/proc/sys/vm/drop_caches needs root): cold runs left out.")
        self.samples = {(m[0], c): [] for m in methods for c in caches}
        checked = set()
        order = random.Random(self.args.seed)
        for r in range(self.args.runs):
            for cache in caches:
                # A new order every round, so that no method always follows the same one
                # (a method can leave the page cache or the disk in a state the next pays for).
                shuffled = list(methods)
                order.shuffle(shuffled)
                for name, durable, prepare, script, inputs, outputs in shuffled:
                    prepare()
                    if cache == "warm":
                        read_through(inputs)
                        sync()
                    else:
                        drop_caches()
                    t = timed_shell(script, self.scratch)
                    self.samples[(name, cache)].append(t)
                    if name not in checked:
                        self.check_output(name, outputs)
                        checked.add(name)
                log(f"  apply run {r + 1}/{self.args.runs} ({cache}) done")
        shutil.rmtree(os.path.join(self.scratch, "out"), ignore_errors=True)
        shutil.rmtree(os.path.join(self.scratch, "install"), ignore_errors=True)
        self.method_list = [(m[0], m[1]) for m in methods]
        self.caches = caches

    def median(self, name, cache, what="wall"):
        return statistics.median(getattr(t, what) for t in self.samples[(name, cache)])

    # -- MD5 --

    def md5(self):
        text = output([self.md5_bench, "256"])
        m = re.search(r"ratio\s+([\d.]+)x", text)
        own = re.search(r"mrpatch MD5\s+([\d.]+) MiB/s", text)
        ssl = re.search(r"OpenSSL MD5\s+([\d.]+) MiB/s", text)
        self.md5_figures = {"ratio": float(m.group(1)) if m else None,
                            "own": float(own.group(1)) if own else None,
                            "openssl": float(ssl.group(1)) if ssl else None}
        if m is None:
            self.notes.append("MD5: OpenSSL's MD5 was not built into md5_bench "
                              "(libssl-dev missing at configure time).\n" + text)

    # -- report --

    def machine(self):
        cpu = ""
        with open("/proc/cpuinfo") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
        mem = 0
        with open("/proc/meminfo") as f:
            for line in f:
                if line.startswith("MemTotal"):
                    mem = int(line.split()[1]) * 1024
        fs = output(["df", "--output=source,fstype", self.work]).splitlines()[-1].split()
        versions = {}
        for pkg in ("xdelta3", "zstd", "rdiff", "bsdiff", "coreutils", "time", "libssl3",
                    "g++", "linux-image-amd64"):
            v = output(["dpkg-query", "-W", "-f", "${Version}", pkg])
            if v and "no packages found" not in v:
                versions[pkg] = v
        return {
            "cpu": f"{cpu}, {os.cpu_count()} cores",
            "memory": f"{mem / (1 << 30):.1f} GiB",
            "kernel": platform.release(),
            "os": output(["sh", "-c", ". /etc/os-release && echo $PRETTY_NAME"]),
            "disk": f"{fs[0]} ({fs[1]})" if len(fs) == 2 else "?",
            "load": f"{self.load_before} before the run, {load_average()} after "
                    f"(1-minute load average; {os.cpu_count()} cores)",
            "mrpatch": output([self.mrpatch, "--version"]),
            "compiler": output(["c++", "--version"]).splitlines()[0],
            "tools": versions,
        }

    def table(self):
        """The one table: every method, every figure, the ratios."""
        caches = self.caches
        best = {}
        for cache in caches:
            for durable in (False, True):
                peers = [n for n, d in self.method_list
                         if d == durable and n not in ("cp", "cp + fsync", "mrpatch apply")]
                best[(cache, durable)] = min((self.median(n, cache), n) for n in peers)
        head = ["method", "durable"]
        for cache in caches:
            head += [f"{cache} s", "x cp", "x cp+fsync", "x best peer"]
        head += ["CPU s", "peak RSS MiB", "patch MB", "build s", "build RSS MiB"]
        rows = []
        for name, durable in self.method_list:
            row = [name, "yes" if durable else "no"]
            for cache in caches:
                t = self.median(name, cache)
                cp = self.median("cp", cache)
                cpf = self.median("cp + fsync", cache)
                b, bn = best[(cache, durable)]
                row += [f"{t:.3f}", f"{t / cp:.2f}", f"{t / cpf:.2f}",
                        "" if name in ("cp", "cp + fsync") else f"{t / b:.2f}"]
            row += [f"{self.median(name, caches[0], 'cpu'):.2f}",
                    f"{max(s.rss for c in caches for s in self.samples[(name, c)]) / MiB:.1f}"]
            tool = "mrpatch" if name == "mrpatch apply" else name.replace(" + fsync", "")
            b = self.build.get(tool)
            if b is not None and (not durable or name == "mrpatch apply"):
                row += [f"{b['size'] / 1e6:.2f}", f"{b['wall']:.2f}", f"{b['rss'] / MiB:.1f}"]
            else:
                row += ["", "", ""]
            rows.append(row)
        return head, rows, best

    def targets(self):
        """(target, figure, holds) for every target."""
        out = []
        for cache in self.caches:
            t = self.median("mrpatch apply", cache)
            cpf = self.median("cp + fsync", cache)
            out.append((f"apply wall time ({cache} cache) <= {APPLY_VS_CP_FSYNC:.2f}x cp + fsync",
                        f"{t:.3f} s vs {cpf:.3f} s = {t / cpf:.2f}x",
                        t <= APPLY_VS_CP_FSYNC * cpf))
            b, bn = self.best_durable[cache]
            out.append((f"apply wall time ({cache} cache) below every peer + fsync",
                        f"{t:.3f} s vs {bn} {b:.3f} s = {t / b:.2f}x", t < b))
        rss = max(s.rss for c in self.caches for s in self.samples[("mrpatch apply", c)])
        pkg = size_of(self.package)
        out.append(("apply peak RSS <= 8 MiB + package pages touched",
                    f"{rss / MiB:.1f} MiB; package {pkg / MiB:.1f} MiB (every page is read); "
                    f"RSS - package = {(rss - pkg) / MiB:.1f} MiB",
                    rss <= RSS_ALLOWANCE + pkg))
        md = self.md5_figures
        out.append((f"MD5 throughput >= {MD5_VS_OPENSSL}x OpenSSL",
                    f"{md['own']} MiB/s vs {md['openssl']} MiB/s = {md['ratio']}x"
                    if md["ratio"] else "OpenSSL not available",
                    md["ratio"] is not None and md["ratio"] >= MD5_VS_OPENSSL))
        out.append((f"package <= {PACKAGE_VS_ORACLE:.2f}x the smallest block-copy delta",
                    f"archive entries {self.archive_entries} B vs oracle {self.oracle} B = "
                    f"{self.archive_entries / self.oracle:.4f}x",
                    self.archive_entries <= PACKAGE_VS_ORACLE * self.oracle))
        ours, rd = self.build["mrpatch"]["wall"], self.build["rdiff"]["wall"]
        out.append((f"build time <= {BUILD_VS_RDIFF}x rdiff signature + delta",
                    f"{ours:.2f} s vs {rd:.2f} s = {ours / rd:.2f}x",
                    ours <= BUILD_VS_RDIFF * rd))
        return out

    def report(self, duration):
        head, rows, best = self.table()
        self.best_durable = {c: best[(c, True)] for c in self.caches}
        targets = self.targets()
        m = self.machine()
        widths = [max(len(head[i]), *(len(r[i]) for r in rows)) for i in range(len(head))]

        def line(cells):
            return "| " + " | ".join(c.ljust(w) for c, w in zip(cells, widths)) + " |"

        table = [line(head), "|" + "|".join("-" * (w + 2) for w in widths) + "|"]
        table += [line(r) for r in rows]
        s = self.summary
        arch = "; ".join(f"{a['name']} {a['old_size'] / MiB:.0f} -> {a['new_size'] / MiB:.0f} MiB"
                         f" ({a['kind']}, {a['new_bytes'] / 1e6:.1f} MB new)"
                         for a in s["archives"])
        text = []
        text.append("# Benchmark results\n")
        text.append(f"Produced by `bench/run.sh --size-mb {self.args.size_mb} --seed "
                    f"{self.args.seed}` on {datetime.date.today().isoformat()}; the whole run "
                    f"took {duration / 60:.1f} minutes. How to read it: docs/benchmarks.md.\n")
        text.append("## Machine\n")
        for k in ("cpu", "memory", "os", "kernel", "disk", "load", "compiler", "mrpatch"):
            text.append(f"- {k}: {m[k]}")
        text.append("- tools (Debian package versions): " +
                    ", ".join(f"{k} {v}" for k, v in m["tools"].items()))
        text.append("")
        text.append("## The update\n")
        text.append(f"Largest archive {self.args.size_mb} MiB, seed {self.args.seed}. {arch}. "
                    f"Unchanged: {', '.join(s['unchanged'])}. The update writes "
                    f"{len(self.files)} files, {self.new_bytes / 1e6:.1f} MB "
                    "(the bytes every method below writes).\n")
        text.append("## Every figure\n")
        text.append(f"Wall times are medians of {self.args.runs} runs per cache state, the "
                    "methods interleaved; `durable` methods fsync what they wrote before they "
                    "end. `x best peer` compares with the fastest peer of the same durability. "
                    "CPU is user + system time (warm, median). Peak RSS is the largest of all "
                    "runs. Patch MB is the package or the sum of one tool's per-file patches; "
                    f"build s is the median of {self.args.build_runs} runs for mrpatch and "
                    "rdiff and one run for the others.\n")
        text += table
        text.append("")
        text.append("## Targets\n")
        for name, figure, holds in targets:
            text.append(f"- {'HOLDS' if holds else 'MISSED'}: {name}: {figure}")
        text.append("")
        if self.failures:
            text.append("## Failures\n")
            text += [f"- {f}" for f in self.failures]
            text.append("")
        text.append("## Notes\n")
        text.append("- Single runs vary (see Runs below, and the load line above for what else "
                    "the machine was doing), so only medians are compared. Dropping the page "
                    "cache empties this machine's cache; on a virtual machine the host may still "
                    "hold the disk's blocks, so a cold read is faster than from the device.")
        text += [f"- {n}" for n in self.notes]
        text.append("")
        text.append("## Runs\n")
        text.append("Wall seconds of every run, in run order.\n")
        for name, _ in self.method_list:
            for cache in self.caches:
                walls = " ".join(f"{t.wall:.3f}" for t in self.samples[(name, cache)])
                text.append(f"- {name}, {cache}: {walls}")
        for name in ("mrpatch", "rdiff"):
            text.append(f"- build {name}: median of {self.build[name]['runs']}: "
                        f"{self.build[name]['wall']:.2f} s")
        text.append("")
        return "\n".join(text), targets

    def main(self):
        start = time.perf_counter()
        self.load_before = load_average()
        self.generate()
        log("building the patches")
        self.builds()
        self.package_figures()
        log("applying")
        self.applies()
        log("MD5")
        self.md5()
        text, targets = self.report(time.perf_counter() - start)
        print(text)
        if self.args.results:
            with open(self.args.results, "w") as f:
                f.write(text)
            log(f"written to {self.args.results}")
        if not self.args.keep:
            shutil.rmtree(self.scratch, ignore_errors=True)
            shutil.rmtree(self.patches, ignore_errors=True)
        return 1 if self.failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--root", required=True, help="the source tree")
    parser.add_argument("--build", required=True, help="the linux-release build folder")
    parser.add_argument("--work", required=True, help="folder for the client and the patches")
    parser.add_argument("--size-mb", type=int, default=1024)
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--runs", type=int, default=7)
    parser.add_argument("--build-runs", type=int, default=3)
    parser.add_argument("--results", help="write the report here too")
    parser.add_argument("--keep", action="store_true", help="keep the patches")
    args = parser.parse_args()
    return Bench(args).main()


if __name__ == "__main__":
    sys.exit(main())
