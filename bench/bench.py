#!/usr/bin/env python3
"""Times Ardex against the tools a user would pick instead, on one corpus, in one run.

Every measurement is a whole process (wall clock around fork to exit), several runs after a
warm-up run, with the inputs in the page cache. Ardex and its peers alternate round by round,
so a change in the machine's load falls on both. Outputs are removed and dirty pages written
back before each run, outside the timed part. A run that fails is reported as failed and the
case is dropped from later rounds; it never turns into a time.
"""

import argparse
import filecmp
import json
import os
import platform
import shutil
import signal
import statistics
import subprocess
import sys
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path
from typing import Callable, Optional

import corpus as corpus_mod

MiB = 1 << 20
PASSWORD = "Bench-pass-2026"
AES_KEY_HEX = "000102030405060708090a0b0c0d0e0f"
RSS_LIMIT_KIB = 16 * 1024
TIME = "/usr/bin/time"


@dataclass
class Run:
    wall: float
    cpu: float
    rss_kib: int


@dataclass
class Case:
    input: str
    label: str
    kind: str                      # "ardex", "wine" or "peer"
    argv: list
    nbytes: int
    prepare: Callable[[], None] = lambda: None
    check: Callable[[int, str], Optional[str]] = lambda rc, log: None if rc == 0 else f"exit code {rc}"
    stdin: Optional[Path] = None
    stdout: Optional[Path] = None  # None: the log gets it
    cwd: Optional[Path] = None
    output: Optional[Path] = None  # its size gives the output ratio
    verify: Optional[Callable[[], Optional[str]]] = None
    timeout: float = 600
    runs: list = field(default_factory=list)
    failure: Optional[str] = None
    out_bytes: Optional[int] = None
    derived: bool = False
    needs: Optional["Case"] = None  # the case whose output this one reads

    @property
    def key(self):
        return (self.input, self.label)


def rm(*paths):
    for p in paths:
        if p.is_dir() and not p.is_symlink():
            shutil.rmtree(p)
        elif p.exists() or p.is_symlink():
            p.unlink()


def fresh_dir(p: Path):
    rm(p)
    p.mkdir(parents=True)


def tail(path: Path, limit=65536) -> str:
    try:
        with open(path, "rb") as f:
            f.seek(max(0, os.fstat(f.fileno()).st_size - limit))
            return f.read().replace(b"\0", b"").decode("utf-8", "replace")
    except OSError:
        return ""


def table_path(image: Path) -> Path:
    # The writer keeps its entry table in a file next to the image while it works.
    return image.with_suffix(".ary")


def restored(target: Path, source: Path) -> Path:
    # An image restores each entry under the target folder by its full path without the drive.
    return target / str(source).lstrip("/")


def same_tree(a: Path, b: Path) -> Optional[str]:
    if a.is_file():
        if not b.is_file():
            return f"{b.name} not restored"
        return None if filecmp.cmp(a, b, shallow=False) else f"{b.name} differs from the source"
    count = 0
    for folder, _, files in os.walk(a):
        for name in files:
            src = Path(folder) / name
            dst = b / src.relative_to(a)
            if not dst.is_file():
                return f"{dst.relative_to(b)} not restored"
            if not filecmp.cmp(src, dst, shallow=False):
                return f"{dst.relative_to(b)} differs from the source"
            count += 1
    return None if count else "source tree is empty"


class Bench:
    def __init__(self, args):
        self.args = args
        self.work = Path(args.work).resolve()
        self.out = self.work / "out"
        self.logs = self.work / "logs"
        self.cases: list[Case] = []
        self.derived: list[Case] = []
        self.has_7z = shutil.which("7z") is not None

    # ---- commands ---------------------------------------------------------------------------

    def ardex_argv(self, kind, *options):
        if kind == "wine":
            conv = [o[:2] + ("Z:" + o[2:].replace("/", "\\") if o[1] in "IED" else o[2:]) for o in options]
            return ["bash", str(self.args.wine_run), str(self.args.wine_prefix), str(self.args.ardex_exe)] + conv
        return [str(self.args.ardex)] + list(options)

    def log_of(self, case: Case) -> Path:
        slug = f"{case.input}-{case.label}".replace(" ", "_").replace("/", "_").replace(">", "")
        return self.logs / (slug + ".log")

    def ardex_cases(self, name: str, source: Path, nbytes: int, kind: str):
        exe = "Ardex.exe (Wine)" if kind == "wine" else "ardex"
        slow = 3 if kind == "wine" else 1
        folder = self.out / name / kind
        cases = []
        for level in (0, 1, 2):
            image = folder / f"level{level}.img"
            target = folder / f"restore{level}"

            def enc_check(rc, log, image=image):
                if "Encrypt finished" not in log:
                    return "no \"Encrypt finished\" (" + (log.strip().splitlines() or ["no output"])[-1][:120] + ")"
                if not image.is_file() or image.stat().st_size == 0:
                    return "no image written"
                if table_path(image).exists():
                    return "temporary table file left behind"
                return None

            def dec_check(rc, log, target=target):
                if "Decrypt finished" not in log:
                    return "no \"Decrypt finished\" (" + (log.strip().splitlines() or ["no output"])[-1][:120] + ")"
                return None if restored(target, source).exists() else "nothing restored"

            enc = Case(name, f"{exe} -E -C{level}", kind,
                       self.ardex_argv(kind, f"-I{image}", f"-E{source}", f"-P{PASSWORD}", f"-C{level}"),
                       nbytes, output=image, check=enc_check, timeout=slow * (120 + nbytes / MiB))
            enc.prepare = lambda image=image, folder=folder: (folder.mkdir(parents=True, exist_ok=True),
                                                              rm(image, table_path(image)))
            dec = Case(name, f"{exe} -D (C{level} image)", kind,
                       self.ardex_argv(kind, f"-I{image}", f"-D{target}", f"-P{PASSWORD}"),
                       nbytes, check=dec_check, timeout=slow * (120 + nbytes / MiB))
            dec.prepare = lambda target=target: fresh_dir(target)
            dec.needs = enc
            dec.verify = lambda target=target: same_tree(source, restored(target, source))
            cases.append((enc, dec))
        return cases

    def single_file_phases(self, name: str, source: Path):
        nbytes = source.stat().st_size
        o = self.out / name / "peer"
        o.mkdir(parents=True, exist_ok=True)
        enc, dec = [], []

        def peer(label, argv, stdin=None, stdout=None, output=None, before=()):
            c = Case(name, label, "peer", argv, nbytes, stdin=stdin, stdout=stdout, output=output,
                     timeout=120 + 2 * nbytes / MiB)
            c.prepare = lambda: rm(*[p for p in (before or ([output] if output else []))])
            return c

        ardex = self.ardex_cases(name, source, nbytes, "ardex")
        wine = self.ardex_cases(name, source, nbytes, "wine") if self.args.wine else []
        ossl = o / "openssl.enc"
        gz4, gzp1, gzp2, gz8 = o / "gzip4.gz", o / "pigz4p1.gz", o / "pigz4p2.gz", o / "gzip8.gz"
        sz = o / "7z.7z"
        peers_enc = {
            0: [peer("openssl enc -aes-128-ecb", ["openssl", "enc", "-aes-128-ecb", "-K", AES_KEY_HEX, "-nosalt",
                                                   "-in", str(source), "-out", str(ossl)], output=ossl),
                peer("cp", ["cp", str(source), str(o / "copy")], output=o / "copy"),
                peer("cat >/dev/null", ["cat", str(source)], stdout=Path(os.devnull))],
            1: [peer("pigz -4 -p1", ["pigz", "-4", "-p1", "-c", str(source)], stdout=gzp1, output=gzp1),
                peer("pigz -4 -p2", ["pigz", "-4", "-p2", "-c", str(source)], stdout=gzp2, output=gzp2),
                peer("gzip -4", ["gzip", "-4", "-c", str(source)], stdout=gz4, output=gz4)]
               + ([peer("7z a -mx1 -p", ["7z", "a", "-mx1", f"-p{PASSWORD}", "-bd", "-bso0", "-bsp0",
                                          str(sz), str(source)], output=sz)] if self.has_7z else []),
            2: [peer("gzip -8", ["gzip", "-8", "-c", str(source)], stdout=gz8, output=gz8)],
        }
        peers_dec = {
            0: [peer("openssl enc -d", ["openssl", "enc", "-d", "-aes-128-ecb", "-K", AES_KEY_HEX, "-nosalt",
                                        "-in", str(ossl), "-out", str(o / "openssl.dec")], output=o / "openssl.dec")],
            1: [peer("pigz -d", ["pigz", "-d", "-c", str(gzp1)], stdout=o / "pigz.dec", output=o / "pigz.dec")]
               + ([peer("7z x", ["7z", "x", f"-p{PASSWORD}", "-y", "-bd", "-bso0", "-bsp0", f"-o{o / '7z.out'}",
                                 str(sz)], before=[o / "7z.out"])] if self.has_7z else []),
            2: [],
        }
        for level in (0, 1, 2):
            enc += [ardex[level][0]] + [w[0] for w in wine[level:level + 1]] + peers_enc[level]
            dec += [ardex[level][1]] + [w[1] for w in wine[level:level + 1]] + peers_dec[level]
        link_peers(enc, dec)
        return [enc, dec]

    def tree_phases(self, corpus):
        name, source, nbytes = "tree", corpus.tree, corpus.tree_bytes
        o = self.out / name / "peer"
        o.mkdir(parents=True, exist_ok=True)
        base = source.parent

        def peer(label, argv, output=None, before=()):
            c = Case(name, label, "peer", argv, nbytes, output=output, cwd=base, timeout=120 + 4 * nbytes / MiB)
            c.prepare = lambda: (rm(*before), [p.mkdir(parents=True) for p in before if p.suffix == ""])
            return c

        ardex = self.ardex_cases(name, source, nbytes, "ardex")
        wine = self.ardex_cases(name, source, nbytes, "wine") if self.args.wine else []
        tar, sz = o / "tree.tar", o / "tree.7z"
        peers_enc = {
            0: [peer("tar cf", ["tar", "cf", str(tar), "tree"], output=tar, before=[tar]),
                peer("cp -r", ["cp", "-r", "tree", str(o / "copy")])],
            1: [peer("7z a -mx1 -p", ["7z", "a", "-mx1", f"-p{PASSWORD}", "-bd", "-bso0", "-bsp0", str(sz), "tree"],
                     output=sz, before=[sz])] if self.has_7z else [],
            2: [],
        }
        # cp -r must not find its target: it would copy into it.
        peers_enc[0][1].prepare = lambda: rm(o / "copy")
        peers_dec = {
            0: [peer("tar xf", ["tar", "xf", str(tar), "-C", str(o / "untar")], before=[o / "untar"])],
            1: [peer("7z x", ["7z", "x", f"-p{PASSWORD}", "-y", "-bd", "-bso0", "-bsp0", f"-o{o / 'un7z'}", str(sz)],
                     before=[o / "un7z"])] if self.has_7z else [],
            2: [],
        }
        enc, dec = [], []
        for level in (0, 1, 2):
            enc += [ardex[level][0]] + [w[0] for w in wine[level:level + 1]] + peers_enc[level]
            dec += [ardex[level][1]] + [w[1] for w in wine[level:level + 1]] + peers_dec[level]
        link_peers(enc, dec)
        return [enc, dec]

    def erase_phase(self, corpus):
        name = "erase"
        nbytes = corpus.erase_source.stat().st_size
        o = self.out / name
        o.mkdir(parents=True, exist_ok=True)
        victim = o / "victim.bin"

        def fresh_copy():
            # The copy is excluded from the timing; the sync that follows each prepare writes it out.
            rm(victim)
            shutil.copyfile(corpus.erase_source, victim)

        cases = []
        for kind in ["ardex"] + (["wine"] if self.args.wine else []):
            exe = "Ardex.exe (Wine)" if kind == "wine" else "ardex"
            image = o / f"{kind}.img"
            for method in (None, 0, 3):
                opts = [f"-I{image}", f"-E{victim}", f"-P{PASSWORD}", "-C0"] + ([f"-S{method}"] if method is not None else [])

                def check(rc, log, method=method, image=image):
                    if "Encrypt finished" not in log:
                        return "no \"Encrypt finished\" (" + (log.strip().splitlines() or ["no output"])[-1][:120] + ")"
                    if method is None:
                        return None
                    if "Secure delete finished" not in log:
                        return "no \"Secure delete finished\""
                    return "the source file is still there" if victim.exists() else None

                label = f"{exe} -E -C0 -S{method}" if method is not None else f"{exe} -E -C0 (no -S)"
                c = Case(name, label, kind, self.ardex_argv(kind, *opts), nbytes, check=check,
                         timeout=(3 if kind == "wine" else 1) * (120 + 4 * nbytes / MiB))
                c.prepare = lambda image=image: (fresh_copy(), rm(image, table_path(image)))
                cases.append(c)
        for passes in (1, 3):
            c = Case(name, f"shred -n {passes}", "peer", ["shred", f"-n{passes}", str(victim)], nbytes,
                     timeout=120 + 4 * passes * nbytes / MiB)
            c.prepare = fresh_copy
            cases.append(c)
        return [cases]

    # ---- running ----------------------------------------------------------------------------

    def run_once(self, case: Case) -> Optional[Run]:
        case.prepare()
        os.sync()
        log = self.log_of(case)
        timefile = self.work / "time.out"
        rm(timefile)
        argv = [TIME, "-f", "%e %U %S %M", "-o", str(timefile)] + case.argv
        with open(log, "wb") as logf, \
                open(case.stdin or os.devnull, "rb") as stdin, \
                (open(case.stdout, "wb") if case.stdout else open(os.devnull, "wb")) as stdout:
            start = time.perf_counter()
            proc = subprocess.Popen(argv, stdin=stdin, stdout=stdout if case.stdout else logf, stderr=logf,
                                    cwd=case.cwd, start_new_session=True)
            # A blocking wait: Popen.wait(timeout) polls with sleeps of up to 50 ms, which
            # would round every time up by as much.
            expired = threading.Event()
            timer = threading.Timer(case.timeout, lambda: (expired.set(), os.killpg(proc.pid, signal.SIGKILL)))
            timer.start()
            rc = proc.wait()
            wall = time.perf_counter() - start
            timer.cancel()
            if expired.is_set():
                case.failure = f"timed out after {case.timeout:.0f} s"
                return None
        text = tail(log)
        reason = case.check(rc, text) if rc == 0 else f"exit code {rc}: " + (text.strip().splitlines() or [""])[-1][:120]
        if reason:
            case.failure = reason
            return None
        fields = timefile.read_text().split("\n")
        fields = [line for line in fields if line and not line.startswith("Command")][-1].split()
        if case.output is not None and case.output.exists():
            case.out_bytes = sum(p.stat().st_size for p in case.output.rglob("*")) if case.output.is_dir() \
                else case.output.stat().st_size
        return Run(wall, float(fields[1]) + float(fields[2]), int(fields[3]))

    def run_phase(self, cases: list[Case], title: str):
        rounds = self.args.runs
        for r in range(rounds + 1):
            shift = r % len(cases)
            order = cases[shift:] + cases[:shift]
            for case in order:
                if case.needs is not None and case.needs.failure and not case.failure:
                    case.failure = f"nothing to read: {case.needs.label} failed"
                if case.failure:
                    continue
                tag = "warm-up" if r == 0 else f"run {r}/{rounds}"
                run = self.run_once(case)
                if run is None:
                    say(f"  {title:7} {case.label:34} {tag:9} FAILED: {case.failure}  (log: {self.log_of(case).name})")
                    continue
                say(f"  {title:7} {case.label:34} {tag:9} {run.wall:8.3f} s  {run.rss_kib / 1024:7.1f} MiB")
                if r > 0:
                    case.runs.append(run)
        for case in cases:
            if case.verify and not case.failure:
                reason = case.verify()
                if reason:
                    case.failure = "restored data wrong: " + reason
                    say(f"  {title:7} {case.label:34} VERIFY FAILED: {reason}")

    def derive_erase(self):
        # -S runs encrypt first; the erase's own time is the per-round difference to the same
        # encryption without -S (the two alternate, so they share the machine's state).
        by = {c.key: c for c in self.cases}
        for exe in ("ardex", "Ardex.exe (Wine)"):
            plain = by.get(("erase", f"{exe} -E -C0 (no -S)"))
            if plain is None:
                continue
            for method in (0, 3):
                full = by[("erase", f"{exe} -E -C0 -S{method}")]
                d = Case("erase", f"{exe} -S{method}: erase alone", plain.kind, [], plain.nbytes, derived=True)
                if plain.failure or full.failure:
                    d.failure = "needs both runs"
                else:
                    d.runs = [Run(f.wall - p.wall, max(0.0, f.cpu - p.cpu), f.rss_kib)
                              for f, p in zip(full.runs, plain.runs)]
                self.derived.append(d)

    def main(self):
        self.logs.mkdir(parents=True, exist_ok=True)
        say(f"corpus in {self.work / 'corpus'} (scale 1/{self.args.scale})")
        corpus = corpus_mod.build(self.work / "corpus", self.args.scale, log=say)
        rm(self.out)
        self.machine_before = machine_info(self.args)
        only = set(self.args.only.split(","))
        if self.args.wine:
            say("starting the Wine prefix")
            subprocess.run(["bash", str(self.args.wine_run), str(self.args.wine_prefix), str(self.args.ardex_exe)],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        plan = []
        if "mixed" in only:
            plan.append(("mixed", self.single_file_phases("mixed", corpus.mixed)))
        if "random" in only:
            plan.append(("random", self.single_file_phases("random", corpus.random)))
        if "tree" in only:
            plan.append(("tree", self.tree_phases(corpus)))
        if "erase" in only:
            plan.append(("erase", self.erase_phase(corpus)))
        for name, phases in plan:
            for phase in phases:
                self.cases += phase
                self.run_phase(phase, name)
            rm(self.out / name)
        self.derive_erase()
        if self.args.wine:
            env = dict(os.environ, WINEPREFIX=str(self.args.wine_prefix))
            subprocess.run([shutil.which("wineserver") or "/usr/lib/wine/wineserver", "-k"], env=env,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        self.report(corpus)

    # ---- report -----------------------------------------------------------------------------

    def report(self, corpus):
        by = {c.key: c for c in self.cases + self.derived}
        pairings = pairing_rules(self.args.wine)
        lines = []
        cmd = " ".join(["bench/run.sh"] + self.args.passthrough)
        lines.append(f"Command: `{cmd}`; {self.args.runs} timed runs per case after one warm-up; "
                     f"median and min-max of whole-process wall time; outputs removed and `sync` before each run "
                     f"(not timed).")
        lines.append("")
        lines.append(f"Corpus: mixed {size_text(corpus.mixed.stat().st_size)}, random {size_text(corpus.random.stat().st_size)}, "
                     f"tree {corpus.tree_files} files / {size_text(corpus.tree_bytes)}, erase file "
                     f"{size_text(corpus.erase_source.stat().st_size)}.")
        lines.append("")
        lines.append("| input | command | median s | min-max s | MiB/s | CPU s | out % | peak RSS MiB | Ardex / peer |")
        lines.append("|---|---|---:|---:|---:|---:|---:|---:|---|")
        verdicts = []
        ordered = []
        for c in self.cases:
            ordered.append(c)
            if c.input == "erase" and c.label.endswith("-S3") :
                ordered += [d for d in self.derived if d.label.startswith(c.label.split(" -E")[0] + " -S")]
        for c in ordered:
            notes = []
            for rule in pairings:
                if rule.applies(c):
                    peer = by.get((c.input, rule.peer))
                    if peer is None:
                        continue
                    text, verdict = rule.judge(c, peer)
                    notes.append(text)
                    if verdict:
                        verdicts.append(verdict)
            if c.failure:
                lines.append(f"| {c.input} | {c.label} | FAILED | | | | | | {c.failure} |")
                continue
            walls = [r.wall for r in c.runs]
            med = statistics.median(walls)
            if c.derived and med <= 0:
                # A difference of two noisy times can come out below zero.
                lines.append(f"| {c.input} | {c.label} | ≈0 | {min(walls):.3f}-{max(walls):.3f} | | | | | "
                             f"within the noise of the two runs |")
                continue
            mibs = c.nbytes / MiB / med if med > 0 else float("inf")
            cpu = statistics.median(r.cpu for r in c.runs)
            out = f"{100 * c.out_bytes / c.nbytes:.1f}" if c.out_bytes is not None else ""
            rss = "" if c.derived else f"{max(r.rss_kib for r in c.runs) / 1024:.1f}"
            lines.append(f"| {c.input} | {c.label} | {med:.3f} | {min(walls):.3f}-{max(walls):.3f} | {mibs:.1f} | "
                         f"{cpu:.2f} | {out} | {rss} | {'; '.join(notes)} |")
        ardex_runs = [(c, r) for c in self.cases if c.kind == "ardex" for r in c.runs]
        lines.append("")
        lines.append("Targets:")
        lines.append("")
        for v in verdicts:
            lines.append(f"- {v}")
        failed = [c for c in self.cases if c.kind == "ardex" and c.failure]
        if ardex_runs:
            worst_case, worst = max(ardex_runs, key=lambda cr: cr[1].rss_kib)
            ok = worst.rss_kib < RSS_LIMIT_KIB and not failed
            lines.append(f"- peak RSS of every ardex run < 16 MiB: largest {worst.rss_kib / 1024:.1f} MiB "
                         f"({worst_case.input}, {worst_case.label})"
                         + (f", {len(failed)} case(s) failed" if failed else "") + f": {'met' if ok else 'MISSED'}")
        else:
            lines.append("- peak RSS of every ardex run < 16 MiB: no successful ardex run")
        text = "\n".join(lines) + "\n"
        info = machine_text(self.machine_before, machine_info(self.args))
        (self.work / "results.md").write_text(info + "\n" + text)
        (self.work / "results.json").write_text(json.dumps({
            "machine": self.machine_before,
            "cases": [{"input": c.input, "label": c.label, "kind": c.kind, "bytes": c.nbytes,
                       "failure": c.failure, "out_bytes": c.out_bytes,
                       "runs": [r.__dict__ for r in c.runs]} for c in self.cases + self.derived],
        }, indent=1))
        print()
        print(info)
        print(text)
        say(f"written: {self.work / 'results.md'} and results.json")
        return 0


class Rule:
    def __init__(self, inputs, ardex, peer, target=None, kind="speed", wine=False):
        self.inputs, self.ardex, self.peer, self.target, self.kind, self.wine = inputs, ardex, peer, target, kind, wine

    def applies(self, c: Case):
        return c.input in self.inputs and c.label == self.ardex

    def judge(self, c: Case, peer: Case):
        name = f"{peer.label}" if not self.wine else "native ardex"
        if c.failure or peer.failure or not c.runs or not peer.runs:
            verdict = None
            if self.target is not None:
                verdict = f"{c.input}: {c.label} vs {peer.label}: not measured ({'ardex' if c.failure else 'peer'} failed): MISSED"
            return f"— {name} (failed)", verdict
        a = statistics.median(r.wall for r in c.runs)
        p = statistics.median(r.wall for r in peer.runs)
        if p <= 0 or (self.kind == "speed" and a <= 0):
            return f"— {name} (within noise)", None
        # On a shared machine the fastest runs and the CPU times say what the load did to the median.
        best = min(r.wall for r in c.runs), min(r.wall for r in peer.runs)
        cpu = statistics.median(r.cpu for r in c.runs), statistics.median(r.cpu for r in peer.runs)
        if self.kind == "time":
            ratio = max(a, 0.0) / p
            text = f"time {ratio:.2f}× {name}"
            if self.target is None:
                return text, None
            ok = ratio <= self.target
            return (f"{text} (≤{self.target:.2f} {'met' if ok else 'MISSED'})",
                    f"{c.input}: {c.label} takes {ratio:.2f}× the time of {peer.label} (target ≤ {self.target:.2f}): "
                    f"{'met' if ok else 'MISSED'}; fastest runs {best[0] / best[1]:.2f}×")
        ratio = p / a
        text = f"{ratio:.2f}× {name}"
        if self.target is None:
            return text, None
        ok = ratio >= self.target
        return (f"{text} (≥{self.target:.2f} {'met' if ok else 'MISSED'})",
                f"{c.input}: {c.label} runs at {ratio:.2f}× the speed of {peer.label} (target ≥ {self.target:.2f}): "
                f"{'met' if ok else 'MISSED'}; fastest runs {best[1] / best[0]:.2f}×"
                + (f", CPU time {cpu[1] / cpu[0]:.2f}×" if min(cpu) > 0.05 else ""))


def pairing_rules(wine: bool):
    files = ("mixed", "random")
    rules = [
        Rule(("mixed",), "ardex -E -C0", "openssl enc -aes-128-ecb", 1.0),
        Rule(("random",), "ardex -E -C0", "openssl enc -aes-128-ecb"),
        Rule(files, "ardex -E -C0", "cp"),
        Rule(files, "ardex -E -C0", "cat >/dev/null"),
        Rule(("mixed",), "ardex -E -C1", "pigz -4 -p1", 1.8),
        Rule(("random",), "ardex -E -C1", "pigz -4 -p1", 0.95),
        Rule(("mixed",), "ardex -E -C1", "pigz -4 -p2", 0.95),
        Rule(("random",), "ardex -E -C1", "pigz -4 -p2"),
        Rule(files, "ardex -E -C1", "gzip -4"),
        Rule(files, "ardex -E -C1", "7z a -mx1 -p"),
        Rule(("mixed",), "ardex -E -C2", "gzip -8", 2.5),
        Rule(("random",), "ardex -E -C2", "gzip -8"),
        Rule(files, "ardex -D (C0 image)", "openssl enc -d"),
        Rule(("mixed",), "ardex -D (C1 image)", "pigz -d", 1.7),
        Rule(("random",), "ardex -D (C1 image)", "pigz -d", 0.90),
        Rule(files, "ardex -D (C1 image)", "7z x"),
        Rule(files, "ardex -D (C2 image)", "pigz -d"),
        Rule(("tree",), "ardex -E -C0", "tar cf"),
        Rule(("tree",), "ardex -E -C0", "cp -r"),
        Rule(("tree",), "ardex -E -C1", "7z a -mx1 -p"),
        Rule(("tree",), "ardex -D (C0 image)", "tar xf"),
        Rule(("tree",), "ardex -D (C1 image)", "7z x"),
        Rule(("erase",), "ardex -S0: erase alone", "shred -n 1", 1.10, kind="time"),
        Rule(("erase",), "ardex -S3: erase alone", "shred -n 3", 1.10, kind="time"),
        Rule(("erase",), "ardex -E -C0 -S0", "shred -n 1", kind="time"),
        Rule(("erase",), "ardex -E -C0 -S3", "shred -n 3", kind="time"),
    ]
    if wine:
        inputs = ("mixed", "random", "tree", "erase")
        for label in ["-E -C0", "-E -C1", "-E -C2", "-D (C0 image)", "-D (C1 image)", "-D (C2 image)",
                      "-E -C0 (no -S)", "-E -C0 -S0", "-E -C0 -S3", "-S0: erase alone", "-S3: erase alone"]:
            rules.append(Rule(inputs, f"Ardex.exe (Wine) {label}", f"ardex {label}", wine=True))
    return rules


DECODES = {"openssl enc -d": "openssl enc -aes-128-ecb", "pigz -d": "pigz -4 -p1", "7z x": "7z a -mx1 -p",
           "tar xf": "tar cf"}


def link_peers(enc, dec):
    by = {c.label: c for c in enc}
    for c in dec:
        if c.label in DECODES:
            c.needs = by.get(DECODES[c.label])


def size_text(n):
    return f"{n / MiB:.0f} MiB" if n >= 10 * MiB else f"{n / 1024:.0f} KiB"


def first_line(argv):
    try:
        out = subprocess.run(argv, capture_output=True, text=True, timeout=30)
        text = (out.stdout or out.stderr).strip()
        return next((line.strip() for line in text.splitlines() if line.strip()), "?")
    except (OSError, subprocess.TimeoutExpired):
        return "not installed"


def machine_info(args):
    cpu = "?"
    with open("/proc/cpuinfo") as f:
        for line in f:
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    mem = "?"
    with open("/proc/meminfo") as f:
        for line in f:
            if line.startswith("MemTotal"):
                mem = f"{int(line.split()[1]) / 1024 / 1024:.1f} GiB"
    osname = "?"
    if Path("/etc/os-release").exists():
        for line in Path("/etc/os-release").read_text().splitlines():
            if line.startswith("PRETTY_NAME="):
                osname = line.split("=", 1)[1].strip('"')
    flags = Path("/proc/cpuinfo").read_text()
    return {
        "cpu": cpu,
        "aes_ni": " aes " in flags,
        "cores": os.cpu_count(),
        "memory": mem,
        "os": osname,
        "kernel": platform.release(),
        "compiler": first_line(["g++", "--version"]),
        "zlib": first_line(["sh", "-c", "dpkg-query -W -f='${Version}' zlib1g"]),
        "openssl": first_line(["openssl", "version"]),
        "pigz": first_line(["pigz", "--version"]),
        "gzip": first_line(["gzip", "--version"]),
        "7z": first_line(["sh", "-c", "7z i | grep -m1 7-Zip"]),
        "coreutils": first_line(["cp", "--version"]),
        "commit": first_line(["git", "-C", str(Path(__file__).resolve().parent.parent), "describe", "--always", "--dirty"]),
        "load": os.getloadavg(),
        "date": time.strftime("%Y-%m-%d %H:%M UTC", time.gmtime()),
    }


def machine_text(before, after):
    b, a = before["load"], after["load"]
    return "\n".join([
        f"Machine: {before['cpu']}{' (AES-NI)' if before['aes_ni'] else ''}, {before['cores']} cores, "
        f"{before['memory']}; {before['os']}, kernel {before['kernel']}; compiler {before['compiler']}; "
        f"zlib {before['zlib']}.",
        f"Peers: {before['openssl']}; {before['pigz']}; {before['gzip']}; {before['7z']}; {before['coreutils']}.",
        f"Run: {before['date']} to {after['date']}, commit {before['commit']}; "
        f"load average {b[0]:.2f} at the start, {a[0]:.2f} at the end (other work may run on this machine).",
        "",
    ])


def say(text):
    print(text, file=sys.stderr, flush=True)


def main():
    here = Path(__file__).resolve().parent
    root = here.parent
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--ardex", default=str(root / "build/bench-native/ardex/ardex"))
    p.add_argument("--scale", type=int, default=None, help="divide every corpus size by N")
    p.add_argument("--quick", action="store_true", help="scale 16 and 3 runs, unless given")
    p.add_argument("--runs", type=int, default=None, help="timed runs per case (default 5)")
    p.add_argument("--only", default="mixed,random,tree,erase", help="inputs to run, comma-separated")
    p.add_argument("--work", default=str(here / "work"))
    p.add_argument("--wine", action="store_true", help="also time Ardex.exe under Wine")
    p.add_argument("--ardex-exe", default=str(root / "build/bench-windows/ardex/Ardex.exe"))
    p.add_argument("--wine-prefix", default=str(root / "build/bench-windows/wineprefix"))
    p.add_argument("--wine-run", default=str(root / "scripts/wine-run.sh"))
    args = p.parse_args()
    args.passthrough = sys.argv[1:]
    args.scale = args.scale or (16 if args.quick else 1)
    args.runs = args.runs or (3 if args.quick else 5)
    if args.scale < 1 or args.runs < 1:
        p.error("--scale and --runs take positive numbers")
    for tool in (TIME, args.ardex) + ((args.ardex_exe,) if args.wine else ()):
        if not Path(tool).exists():
            p.error(f"{tool} not found")
    return Bench(args).main()


if __name__ == "__main__":
    sys.exit(main())
