"""Benchmark corpus: mixed real data, random data, a tree of small files, an erase source.

Built once per scale in a scratch folder and reused while its parameters match; the same
seed and the same installed files give the same bytes.
"""

import json
import os
import random
import shutil
from pathlib import Path

MiB = 1 << 20
FULL_MIXED = 512 * MiB
FULL_RANDOM = 512 * MiB
FULL_TREE_FILES = 20000
FULL_ERASE = 256 * MiB
FILES_PER_DIR = 100
SEED = 20261210
SOURCE_ROOTS = ("/usr/share", "/usr/lib")
CORPUS_VERSION = 1


class Corpus:
    def __init__(self, root: Path):
        self.root = root
        self.mixed = root / "mixed.bin"
        self.random = root / "random.bin"
        self.tree = root / "tree"
        self.erase_source = root / "erase-source.bin"
        self._info = json.loads((root / "corpus.json").read_text()) if (root / "corpus.json").exists() else {}

    @property
    def tree_bytes(self) -> int:
        return self._info["tree_bytes"]

    @property
    def tree_files(self) -> int:
        return self._info["tree_files"]


def _candidate_files():
    found = []
    for top in SOURCE_ROOTS:
        for folder, dirs, files in os.walk(top):
            dirs.sort()
            for name in sorted(files):
                path = os.path.join(folder, name)
                try:
                    if os.path.islink(path) or not os.path.isfile(path):
                        continue
                    if os.path.getsize(path) >= 4096 and os.access(path, os.R_OK):
                        found.append(path)
                except OSError:
                    continue
    return found


def _write_mixed(path: Path, size: int, rng: random.Random):
    # Slices of many installed files: text, binaries, already compressed archives, images,
    # so the compressors meet the mixture a user's folders hold.
    candidates = _candidate_files()
    rng.shuffle(candidates)
    written = 0
    with open(path, "wb") as out:
        while written < size:
            for source in candidates:
                if written >= size:
                    break
                try:
                    with open(source, "rb") as f:
                        length = os.fstat(f.fileno()).st_size
                        take = min(length, rng.randint(16 * 1024, 1024 * 1024), size - written)
                        f.seek(rng.randint(0, length - take))
                        data = f.read(take)
                except OSError:
                    continue
                out.write(data)
                written += len(data)


def _write_random(path: Path, size: int):
    with open(path, "wb") as out:
        left = size
        while left:
            block = min(left, MiB)
            out.write(os.urandom(block))
            left -= block


def _write_tree(tree: Path, mixed: Path, files: int, rng: random.Random) -> int:
    mixed_size = mixed.stat().st_size
    total = 0
    with open(mixed, "rb") as source:
        for index in range(files):
            leaf = index // FILES_PER_DIR
            folder = tree / f"d{leaf // 10:02d}" / f"s{leaf % 10}"
            if index % FILES_PER_DIR == 0:
                folder.mkdir(parents=True, exist_ok=True)
            size = rng.randint(1024, 16 * 1024)
            source.seek(rng.randint(0, max(0, mixed_size - size)))
            (folder / f"f{index:05d}.dat").write_bytes(source.read(size))
            total += size
    return total


def _copy_prefix(source: Path, target: Path, size: int):
    with open(source, "rb") as f, open(target, "wb") as out:
        left = size
        while left:
            data = f.read(min(left, 4 * MiB))
            if not data:
                break
            out.write(data)
            left -= len(data)


def build(root: Path, scale: int, log=print) -> Corpus:
    params = {
        "version": CORPUS_VERSION,
        "mixed_bytes": FULL_MIXED // scale,
        "random_bytes": FULL_RANDOM // scale,
        "tree_files": max(1, FULL_TREE_FILES // scale),
        "erase_bytes": FULL_ERASE // scale,
    }
    stamp = root / "corpus.json"
    if stamp.exists():
        info = json.loads(stamp.read_text())
        if {k: info.get(k) for k in params} == params:
            return Corpus(root)
    shutil.rmtree(root, ignore_errors=True)
    root.mkdir(parents=True)
    corpus = Corpus(root)
    rng = random.Random(SEED)
    log(f"corpus: {params['mixed_bytes'] // MiB} MiB mixed from {', '.join(SOURCE_ROOTS)}")
    _write_mixed(corpus.mixed, params["mixed_bytes"], rng)
    log(f"corpus: {params['random_bytes'] // MiB} MiB random")
    _write_random(corpus.random, params["random_bytes"])
    log(f"corpus: tree of {params['tree_files']} files of 1-16 KiB")
    tree_bytes = _write_tree(corpus.tree, corpus.mixed, params["tree_files"], rng)
    log(f"corpus: {params['erase_bytes'] // MiB} MiB erase source")
    _copy_prefix(corpus.mixed, corpus.erase_source, params["erase_bytes"])
    stamp.write_text(json.dumps(dict(params, tree_bytes=tree_bytes), indent=1))
    return Corpus(root)
