#!/usr/bin/python3
"""Makes a sample installation of the product and an installer that carries the patches of a
chain of builds, the way a publisher would: three trees, `zephpack diff` between neighbours,
`zephpack archive`, `zephpack embed` into a copy of InstallPatchCLI. Also registers the
installation in a registry root of its own.

  sample_installation.py make BUILD_DIR OUT [--files N] [--builds 46957,48249,50001]
                               [--gui] [--release-notes URL] [--installed BIN_DIR]
                               [--windows WINDOWS_BUILD_DIR]
  sample_installation.py compare INSTALLATION TREE

OUT receives: trees/<build>/ (each build's full tree), patches/, <from>_to_<to>.zpa,
InstallPatchCLI (the installer with the container), install/ (a copy of the first tree plus
the asset database folder), registry/ (for ORVIK_REGISTRY_ROOT) and temp/ (for TEMP).
--gui also makes InstallPatchGUI, the window installer with the same container;
--release-notes registers URL as the page the window shows.
--installed takes the programs installed in BIN_DIR (for example /usr/bin) instead of those
built in BUILD_DIR; --windows those of the Windows build in WINDOWS_BUILD_DIR, run under Wine
(the installer becomes InstallPatchCLI.exe, and the builds' difference tool and the stand-in
for the product's utility the Windows ones).
"compare" checks that every file of TREE is in INSTALLATION with the same bytes, and that the
installation holds nothing else but what the product and the installer write there at run time.
"""
import argparse
import hashlib
import os
import random
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
# Written at run time by the product utility and the installer, not part of any build's tree
# (VelmorUtil.cfg: the test utility's own settings, see tests/fixtures/VelmorUtil.py).
RUNTIME_FILES = {"bin/VelmorUtil.log", "bin/VelmorUtil.cfg", "unins000.dat", "UserData",
                 "repair.cks"}
FOLDERS = ["data/routes", "data/trains", "data/sounds", "shaders", "docs", "bin/plugins"]


def content(rng, size):
    # Partly repetitive, as game data is, so that the difference tool has something to find.
    chunk = rng.randbytes(min(size, 4096))
    data = bytearray()
    while len(data) < size:
        data += chunk if rng.random() < 0.7 else rng.randbytes(min(4096, size - len(data)))
    return bytes(data[:size])


def file_names(count):
    rng = random.Random(1)
    names = []
    for i in range(count):
        folder = FOLDERS[i % len(FOLDERS)]
        ext = rng.choice([".dat", ".cfg", ".bin", ".txt", ".oa"])
        names.append(f"{folder}/file{i:04d}{ext}")
    return names


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


def make_trees(out, builds, count, orbpatch, utility):
    """The first build has `count` files; each later build changes about a fifth of them,
    drops a few and adds a few, and always changes the launcher."""
    names = file_names(count)
    rng = random.Random(7)
    files = {name: content(rng, rng.choice([200, 3000, 20000, 150000])) for name in names}
    files["bin/Velmor.exe"] = content(rng, 300000)
    files["bin/ZephLauncher.exe"] = content(rng, 60000)
    for index, build in enumerate(builds):
        if index > 0:
            for name in sorted(files):
                if name.startswith("bin/") and name != "bin/ZephLauncher.exe":
                    continue
                roll = rng.random()
                if roll < 0.2 or name == "bin/ZephLauncher.exe":
                    data = bytearray(files[name])
                    for _ in range(3):
                        at = rng.randrange(max(1, len(data)))
                        data[at:at + 64] = rng.randbytes(64)
                    files[name] = bytes(data)
                elif roll < 0.23:
                    del files[name]
            for i in range(max(2, count // 40)):
                files[f"data/build{build}/new{i:03d}.dat"] = content(rng, rng.choice([500, 9000]))
        tree = os.path.join(out, "trees", build)
        for name, data in files.items():
            write(os.path.join(tree, name), data)
        write(os.path.join(tree, "bin", "builds.txt"), f"{build},".encode())
        shutil.copyfile(utility, os.path.join(tree, "bin", "VelmorUtil.exe"))
        shutil.copyfile(orbpatch, os.path.join(tree, "bin", "orbpatchl-w32.exe"))
        for program in ("VelmorUtil.exe", "orbpatchl-w32.exe"):
            os.chmod(os.path.join(tree, "bin", program), 0o755)


def run(*command):
    subprocess.run(command, check=True, stdout=subprocess.DEVNULL)


def wine_command(windows_build, program):
    """Runs a Windows program of that build under Wine, in the build's own Wine prefix."""
    return [os.path.join(SOURCE, "cmake", "wine-run.sh"), os.path.join(windows_build, "wine"),
            program]


def register(out, install, release_notes):
    product = os.path.join(out, "registry", "SOFTWARE", "Orvik", "Products", "VelmorSimulator")
    key = os.path.join(product, "Velmor")
    os.makedirs(key, exist_ok=True)
    with open(os.path.join(key, "@ProductClass"), "w") as f:
        f.write("REG_SZ\nVelmor\n")
    with open(os.path.join(key, "@ProductInstallPath"), "w") as f:
        f.write("REG_SZ\n" + install + "/\n")
    if release_notes:
        with open(os.path.join(product, "@ReleaseNotesURL"), "w") as f:
            f.write("REG_SZ\n" + release_notes + "\n")


def make(args):
    out = os.path.abspath(args.out)
    build_dir = os.path.abspath(args.build_dir)
    def program(*where):
        if args.windows:
            return os.path.join(os.path.abspath(args.windows), *where) + ".exe"
        return os.path.join(args.installed, where[-1]) if args.installed else \
            os.path.join(build_dir, *where)
    zephpack = [program("tools", "zephpack", "zephpack")]
    if args.windows:
        zephpack = wine_command(args.windows, zephpack[0])
    orbpatch = program("tools", "orbpatch", "orbpatch")
    installers = [program("app", "cli", "InstallPatchCLI")]
    if args.gui:
        installers.append(program("app", "gui", "InstallPatchGUI"))
    builds = args.builds.split(",")
    if os.path.exists(out):
        shutil.rmtree(out)
    os.makedirs(out)
    # The stand-in for the product's utility; Wine cannot wait for a Unix one.
    utility = os.path.join(SOURCE, "tests", "fixtures", "VelmorUtil.py")
    if args.windows:
        utility = program("tests", "fixtures", "VelmorUtil")
    make_trees(out, builds, args.files, orbpatch, utility)
    patches = []
    for old, new in zip(builds, builds[1:]):
        patch = os.path.join(out, "patches", f"{old}_to_{new}")
        archive = os.path.join(out, f"{old}_to_{new}.zpa")
        run(*zephpack, "diff", os.path.join(out, "trees", old), os.path.join(out, "trees", new),
            patch)
        run(*zephpack, "archive", patch, archive)
        patches += ["--patch", old, new, archive]
    for installer in installers:
        run(*zephpack, "embed", installer, os.path.join(out, os.path.basename(installer)),
            *patches)
    install = os.path.join(out, "install")
    shutil.copytree(os.path.join(out, "trees", builds[0]), install)
    os.makedirs(os.path.join(install, "UserData"))
    os.makedirs(os.path.join(out, "temp"))
    register(out, install, args.release_notes)
    return 0


def tree_files(root):
    found = {}
    for folder, dirs, names in os.walk(root):
        for name in names:
            path = os.path.join(folder, name)
            found[os.path.relpath(path, root)] = path
    return found


def digest(path):
    with open(path, "rb") as f:
        return hashlib.md5(f.read()).hexdigest()


def compare(args):
    installed = tree_files(args.installation)
    expected = tree_files(args.tree)
    faults = []
    for name, path in sorted(expected.items()):
        if name not in installed:
            faults.append("missing: " + name)
        elif digest(path) != digest(installed[name]):
            faults.append("differs: " + name)
    for name in sorted(set(installed) - set(expected)):
        if name not in RUNTIME_FILES and name.split("/")[0] not in RUNTIME_FILES:
            faults.append("extra: " + name)
    for fault in faults:
        print(fault)
    print(f"{len(expected)} files compared, {len(faults)} faults")
    return 1 if faults else 0


def main():
    parser = argparse.ArgumentParser()
    commands = parser.add_subparsers(dest="command", required=True)
    m = commands.add_parser("make")
    m.add_argument("build_dir")
    m.add_argument("out")
    m.add_argument("--files", type=int, default=300)
    m.add_argument("--builds", default="46957,48249,50001")
    m.add_argument("--gui", action="store_true")
    m.add_argument("--release-notes")
    m.add_argument("--installed")
    m.add_argument("--windows")
    c = commands.add_parser("compare")
    c.add_argument("installation")
    c.add_argument("tree")
    args = parser.parse_args()
    return make(args) if args.command == "make" else compare(args)


if __name__ == "__main__":
    sys.exit(main())
