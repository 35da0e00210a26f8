#!/usr/bin/python3
"""The console installer built for Windows, run under Wine as a player runs it, against a sample
installation made with the Windows zephpack: the chain of two patches embedded in the installer,
then a repair of a damaged copy from the Windows zephrepaird on loopback. Each result is checked
file by file against the build it must equal, the same trees the Linux build is checked against.

  demo_windows.py WINDOWS_BUILD_DIR OUT [--all LINUX_BUILD_DIR]

--all (for the tests) also runs download mode from nginx (HTTP) and vsftpd (FTP) serving on the
Linux side, a repair from the Linux zephrepaird of LINUX_BUILD_DIR, and checks that the real
uninstall logs the installation starts with now name the added files.
The installation is registered in the Wine prefix's registry under a root of its own
(ORVIK_REGISTRY_ROOT), which is removed at the end.
"""
import argparse
import os
import re
import shutil
import socket
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, HERE)
import sample_installation  # noqa: E402

PRODUCT_KEY = r"SOFTWARE\Orvik\Products\VelmorSimulator\Velmor"
UNINSTALL_LOG = os.path.join(SOURCE, "tests", "fixtures", "unins", "emu8086_unins000.dat")


def windows_path(path):
    """The path as a Windows program under Wine names it (Wine's Z: is the Linux root)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Demo:
    def __init__(self, windows_build, out):
        self.build = os.path.abspath(windows_build)
        self.out = os.path.abspath(out)
        self.root = f"OrvikDemo{os.getpid()}"
        self.failures = []

    def program(self, *where):
        return os.path.join(self.build, *where) + ".exe"

    def wine(self, *command):
        return sample_installation.wine_command(self.build, command[0]) + list(command[1:])

    def path(self, *names):
        return os.path.join(self.out, *names)

    def step(self, text):
        print("== " + text, flush=True)

    def check(self, what, ok):
        print(f"   {what}: {'ok' if ok else 'FAILED'}", flush=True)
        if not ok:
            self.failures.append(what)

    def registry(self, *arguments):
        subprocess.run(self.wine("reg", *arguments), check=True, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)

    def make(self):
        self.step("Making the sample installation and the installer with the Windows zephpack")
        subprocess.run([sys.executable, os.path.join(HERE, "sample_installation.py"), "make",
                        self.build, self.out, "--files", "60", "--windows", self.build],
                       check=True)
        key = rf"HKCU\{self.root}\{PRODUCT_KEY}"
        self.registry("add", key, "/v", "ProductClass", "/d", "Velmor", "/f")
        self.registry("add", key, "/v", "ProductInstallPath", "/d",
                      windows_path(self.path("install")) + "\\", "/f")

    def forget_registry(self):
        self.registry("delete", rf"HKCU\{self.root}", "/f")

    def reset_installation(self):
        shutil.rmtree(self.path("install"))
        shutil.copytree(self.path("trees", "46957"), self.path("install"))
        os.makedirs(self.path("install", "UserData"))
        shutil.copyfile(UNINSTALL_LOG, self.path("install", "unins000.dat"))

    def installer(self, program, *arguments):
        """Runs the installer under Wine, its output shown indented; gives its exit status."""
        environment = dict(os.environ, ORVIK_REGISTRY_ROOT=self.root)
        run = subprocess.run(self.wine(program, *arguments), env=environment,
                             stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                             errors="replace")
        for line in run.stdout.splitlines():
            print("   | " + line)
        return run.returncode

    def compare(self, what, tree):
        status = subprocess.run([sys.executable, os.path.join(HERE, "sample_installation.py"),
                                 "compare", self.path("install"), tree],
                                stdout=subprocess.PIPE, text=True)
        print("   " + status.stdout.strip().replace("\n", "\n   "))
        self.check(what, status.returncode == 0)

    def standalone(self):
        self.reset_installation()
        self.step("Running the installer with its two embedded patches")
        status = self.installer(self.path("InstallPatchCLI.exe"),
                                "--log=" + windows_path(self.path("standalone.log")))
        self.check("standalone chain exits 0", status == 0)
        self.compare("standalone chain gives build 50001", self.path("trees", "50001"))

    def uninstall_log(self):
        self.step("Checking the uninstall log the installation started with")
        with open(self.path("install", "unins000.dat"), "rb") as f:
            log = f.read()
        with open(UNINSTALL_LOG, "rb") as f:
            before = f.read()
        # A delete record per added file, naming it as Windows does.
        added = windows_path(self.path("install", "data", "build48249", "new000.dat")).encode()
        end = int.from_bytes(log[328:332], "little")
        self.check("log kept its records and names the added files",
                   log.startswith(before[:64]) and len(log) > len(before) and added in log)
        self.check("log's end offset is its size", end == len(log))

    def download(self):
        self.reset_installation()
        www, ftp = self.path("www"), self.path("ftp")
        os.makedirs(os.path.join(www, "archives"), exist_ok=True)
        os.makedirs(ftp, exist_ok=True)
        shutil.copyfile(self.path("46957_to_48249.zpa"),
                        os.path.join(www, "archives", "46957_to_48249.zpa"))
        shutil.copyfile(self.path("48249_to_50001.zpa"), os.path.join(ftp, "48249_to_50001.zpa"))
        plain = self.path("plain", "InstallPatchCLI.exe")
        os.makedirs(os.path.dirname(plain), exist_ok=True)
        shutil.copyfile(self.program("app", "cli", "InstallPatchCLI"), plain)
        with Servers(self.out, www, ftp) as servers:
            self.step(f"Publishing patches.txt: the first patch over HTTP (nginx on port "
                      f"{servers.http_port}), the second over FTP (vsftpd on port "
                      f"{servers.ftp_port})")
            subprocess.run(self.wine(self.program("tools", "zephpack", "zephpack"), "catalogue",
                                     os.path.join(www, "patches.txt"),
                                     "46957", "48249", r"archives\46957_to_48249.zpa",
                                     "48249", "50001",
                                     f"ftp://127.0.0.1:{servers.ftp_port}/48249_to_50001.zpa"),
                           check=True, stdout=subprocess.DEVNULL)
            self.step("Running the plain installer in download mode")
            status = self.installer(plain, f"--server=http://127.0.0.1:{servers.http_port}/",
                                    "--log=" + windows_path(self.path("download.log")),
                                    windows_path(self.path("install")))
        self.check("download mode exits 0", status == 0)
        self.compare("download mode gives build 50001", self.path("trees", "50001"))

    def repair(self, server_name, server_command, server_path):
        self.step("Damaging the installation: a changed file, a lost folder, a stray file")
        reference = self.path("reference")
        shutil.rmtree(reference, ignore_errors=True)
        shutil.copytree(self.path("install"), reference)
        with open(self.path("install", "bin", "Velmor.exe"), "r+b") as f:
            f.seek(1000)
            f.write(b"damaged")
        shutil.rmtree(self.path("install", "docs"))
        with open(self.path("install", "stray.tmp"), "w") as f:
            f.write("stray\n")
        self.step(f"Serving the undamaged copy with the {server_name} zephrepaird on loopback")
        log_path = self.path(f"zephrepaird-{server_name}.log")
        with open(log_path, "w") as log:
            server = subprocess.Popen(server_command + ["--root=" + server_path(reference),
                                                        "--listen=127.0.0.1:0", "--quiet"],
                                      stdout=log, stderr=subprocess.STDOUT)
        try:
            port = wait_for(lambda: listening_port(log_path), server)
            self.check(f"{server_name} zephrepaird listens", port is not None)
            if port is None:
                return
            self.step("Running the installer in repair mode against it")
            status = self.installer(self.path("InstallPatchCLI.exe"), "--repair",
                                    f"--repair-server=127.0.0.1:{port}",
                                    "--log=" + windows_path(self.path(f"repair-{server_name}.log")))
        finally:
            server.kill()
            server.wait()
        self.check(f"repair from the {server_name} server exits 0", status == 0)
        self.compare(f"repair from the {server_name} server restores every file", reference)


def listening_port(log_path):
    with open(log_path, errors="replace") as f:
        found = re.search(r"listening on 127\.0\.0\.1:(\d+)", f.read())
    return int(found.group(1)) if found else None


def wait_for(probe, process, seconds=60):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline and process.poll() is None:
        found = probe()
        if found:
            return found
        time.sleep(0.1)
    return None


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def accepts(port):
    with socket.socket() as s:
        return s.connect_ex(("127.0.0.1", port)) == 0


class Servers:
    """nginx serving `www` and an anonymous read-only vsftpd serving `ftp`, on loopback."""

    def __init__(self, out, www, ftp):
        self.out, self.www, self.ftp = out, www, ftp
        self.processes = []

    def start(self, name, command_for_port):
        for _ in range(5):
            port = free_port()
            with open(os.path.join(self.out, name + ".log"), "w") as log:
                process = subprocess.Popen(command_for_port(port), stdout=log,
                                           stderr=subprocess.STDOUT)
            if wait_for(lambda: accepts(port), process, 10):
                self.processes.append(process)
                return port
            process.kill()
            process.wait()
        raise RuntimeError(f"{name} did not start")

    def nginx(self, port):
        prefix = os.path.join(self.out, "nginx")
        os.makedirs(os.path.join(prefix, "tmp"), exist_ok=True)
        temps = "".join(f"  {kind}_temp_path {prefix}/tmp;\n"
                        for kind in ("client_body", "proxy", "fastcgi", "uwsgi", "scgi"))
        with open(os.path.join(prefix, "nginx.conf"), "w") as f:
            f.write(f"master_process off;\npid {prefix}/nginx.pid;\nerror_log {prefix}/error.log;\n"
                    f"events {{ worker_connections 64; }}\nhttp {{\n  access_log off;\n{temps}"
                    f"  server {{\n    listen 127.0.0.1:{port};\n    root {self.www};\n  }}\n}}\n")
        return ["/usr/sbin/nginx", "-c", os.path.join(prefix, "nginx.conf"), "-p", prefix,
                "-g", "daemon off;"]

    def vsftpd(self, port):
        config = os.path.join(self.out, "vsftpd.conf")
        with open(config, "w") as f:
            f.write("listen=YES\nlisten_ipv6=NO\nlisten_address=127.0.0.1\n"
                    f"listen_port={port}\nbackground=NO\n"
                    "anonymous_enable=YES\nno_anon_password=YES\nlocal_enable=NO\n"
                    f"write_enable=NO\nanon_root={self.ftp}\n"
                    "pasv_enable=YES\nport_enable=YES\nconnect_from_port_20=NO\n"
                    "seccomp_sandbox=NO\nrun_as_launching_user=YES\n"
                    "secure_chroot_dir=/var/run/vsftpd/empty\n"
                    "xferlog_enable=NO\nsyslog_enable=NO\n")
        return ["/usr/sbin/vsftpd", config]

    def __enter__(self):
        try:
            self.http_port = self.start("nginx", self.nginx)
            self.ftp_port = self.start("vsftpd", self.vsftpd)
        except BaseException:
            self.__exit__()
            raise
        return self

    def __exit__(self, *_):
        for process in self.processes:
            process.kill()
            process.wait()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("windows_build")
    parser.add_argument("out")
    parser.add_argument("--all", metavar="LINUX_BUILD_DIR")
    args = parser.parse_args()
    demo = Demo(args.windows_build, args.out)
    demo.make()
    try:
        demo.standalone()
        if args.all:
            demo.uninstall_log()
        demo.repair("Windows", demo.wine(demo.program("tools", "zephrepaird", "zephrepaird")),
                    windows_path)
        if args.all:
            demo.download()
            linux_server = os.path.join(os.path.abspath(args.all), "tools", "zephrepaird",
                                        "zephrepaird")
            demo.repair("Linux", [linux_server], os.path.abspath)
    finally:
        demo.forget_registry()
    print(f"== {len(demo.failures)} checks failed" if demo.failures else "== Every check passed")
    return 1 if demo.failures else 0


if __name__ == "__main__":
    sys.exit(main())
