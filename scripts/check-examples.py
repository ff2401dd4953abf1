#!/usr/bin/env python3
"""Runs every command example of README.md and the man pages against box
simulators, so that an example that stops working fails the build.

Each example block runs in one bash shell (so `&` and `$!` work), in a scratch
folder that links the source tree's build/, data/ and scripts/. Placeholders
are mapped: /dev/ttyUSB0, 1 and 2 are simulated boxes on com3, com4 and com6;
firmware.hv is a small generated chipset file; /tmp/ is the scratch folder's
own; /usr/share/tvbox/ is the tree's data/ unless the package is installed.
Each command must end with the exit status its example promises (0 unless the
table below says otherwise); the window's example must still be running after
a few seconds. The programs come from PATH (the installed package) when
--installed is given, else from the build folder.

usage: scripts/check-examples.py [--build build/release] [--installed]
"""
import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))

# Commands the CI runs by other means (the README's two set-up commands, the
# package) are named here; any other command is run.
RUN_ELSEWHERE = (
    "scripts/run-with-simulator.sh",
    "scripts/test.sh",
    "scripts/package.sh",
    "sudo apt install",
)

PORTS = {"/dev/ttyUSB0": "com3", "/dev/ttyUSB1": "com4", "/dev/ttyUSB2": "com6"}
WINDOW_ALIVE_SECONDS = 4
COMMAND_SECONDS = 240


def man_examples(path):
    """The command lines of a man page's EXAMPLES section, one block per
    .nf/.fi or .RS/.RE group."""
    blocks, block, inside, in_examples = [], [], False, False
    for raw in open(path, encoding="utf-8"):
        line = raw.rstrip("\n")
        if line.startswith(".SH"):
            in_examples = line.strip() == ".SH EXAMPLES"
            continue
        if not in_examples:
            continue
        if line in (".RS", ".nf"):
            inside = True
        elif line in (".RE", ".fi"):
            if block:
                blocks.append(block)
            block, inside = [], False
        elif inside and not line.startswith("."):
            block.append(line.replace("\\-", "-").replace("\\(aq", "'").replace("\\e", "\\"))
    return blocks


def readme_examples(path):
    """The lines of README's ```sh blocks, one block each."""
    blocks, block, inside = [], [], False
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        if line.startswith("```"):
            if inside and block:
                blocks.append(block)
            block, inside = [], line == "```sh"
        elif inside and line.strip():
            block.append(line)
    return blocks


def without_comment(line):
    # A trailing "# ..." after two spaces is the example's own explanation.
    return re.split(r"\s{2,}#", line)[0].strip()


class Simulators:
    """The simulated boxes behind the mapped ports, restartable with other
    faults while keeping what their memories hold."""

    def __init__(self, program, scratch):
        self.program, self.scratch = program, scratch
        self.port_dir = os.path.join(scratch, "ports")
        os.makedirs(self.port_dir, exist_ok=True)
        self.running = {}

    def start(self, port, *extra):
        images = os.path.join(self.scratch, "box-" + port)
        args = [self.program, "--port-dir", self.port_dir, "--prog", port,
                "--ctrl", "ctl-" + port, "--images", images]
        if os.path.exists(os.path.join(images, "flash.bin")):
            args += ["--from-images", images]
        os.makedirs(images, exist_ok=True)
        sim = subprocess.Popen(args + list(extra), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                               text=True)
        for line in sim.stdout:  # "ready" once its ports are there
            if line.strip() == "ready":
                break
        self.running[port] = sim

    def stop(self, port):
        sim = self.running.pop(port)
        sim.send_signal(signal.SIGTERM)
        sim.wait(timeout=30)

    def restart(self, port, *extra):
        self.stop(port)
        self.start(port, *extra)

    def stop_all(self):
        for port in list(self.running):
            self.stop(port)


def expected_status(command):
    """The exit statuses an example's command may end with."""
    if "--compare" in command:
        return {0, 1}  # a box that differs is one of the outcomes it shows
    return {0}


def mapped(line, share):
    for device, port in PORTS.items():
        line = line.replace(device, port)
    return line.replace("/usr/share/tvbox/", share + "/")


PROGRAMS = ("tvbox", "build/", "mkdir", "TVBOX_", "scripts/", "sudo")


def is_script_file(block):
    """A block that is no command at all: a tvbox-reg script the page shows,
    which its examples read as setup.txt."""
    return not any(line.lstrip().startswith(PROGRAMS) for line in block)


def waited_for_boxes(command, env, scratch):
    """--wait runs until ctrl-C: once every port has burned a box, ctrl-C
    must end it with 0 and its summary."""
    ports = command.count(" -p ")
    process = subprocess.Popen(["bash", "-o", "pipefail", "-c", command], cwd=scratch, env=env, stdout=subprocess.PIPE,
                               stderr=subprocess.DEVNULL, text=True, start_new_session=True)
    results, lines = 0, []
    deadline = time.monotonic() + COMMAND_SECONDS
    for line in process.stdout:
        lines.append(line)
        if re.search(r"  #1  ", line):
            results += 1
        if results >= ports or time.monotonic() > deadline:
            break
    os.killpg(process.pid, signal.SIGINT)
    out = "".join(lines) + process.stdout.read()
    process.wait(timeout=60)
    ok = results >= ports and process.returncode == 0 and "Summary:" in out
    return ok, f"{results} of {ports} boxes, exit {process.returncode}", out


def run_block(block, origin, env, sims, scratch, share, failures):
    if is_script_file(block):
        text = "\n".join(block) + "\n"
        open(os.path.join(scratch, "setup.txt"), "w").write(text)
        record = os.path.join(env["HOME"], ".local/state/tvbox/logs/console-2026-12-08-231500-com3.txt")
        os.makedirs(os.path.dirname(record), exist_ok=True)
        open(record, "w").write("# a console record\n" + text)
        print(f"  script ({origin}): setup.txt and a console record")
        return
    script, background = [], []
    for raw in block:
        command = without_comment(raw)
        if not command or command.startswith(RUN_ELSEWHERE):
            print(f"  skip ({origin}): {command}")
            continue
        command = mapped(command, share).replace("/tmp/", scratch + "/tmp/")
        if command.endswith("&"):
            background.append(command)  # runs in the shell of the command after it
            continue
        script.append((raw, "\n".join(background + [command])))
        background = []
    for raw, command in script:
        lost = "the line is lost" in raw
        if lost:
            sims.restart("com3", "--vanish-in-flash", "60")
        elif "--resume" in command and not any("the line is lost" in r for r, _ in script):
            # A resume needs a burn that failed: the same burn, its line lost.
            sims.restart("com3", "--vanish-in-flash", "60")
            burn = command.replace("--resume ", "")
            subprocess.run(["bash", "-o", "pipefail", "-c", burn], cwd=scratch, env=env, capture_output=True,
                           timeout=COMMAND_SECONDS)
            sims.restart("com3")
        window = re.search(r"(^|\s)tvbox\s", command + " ") is not None
        print(f"  run ({origin}): {command}", flush=True)
        if "--wait" in command:
            ok, outcome, out = waited_for_boxes(command, env, scratch)
            print(f"    {outcome}")
            if not ok:
                print("    " + "\n    ".join(out.strip().splitlines()[-15:]))
                failures.append(f"{origin}: {command}")
            continue
        started = time.monotonic()
        process = subprocess.Popen(["bash", "-o", "pipefail", "-c", command], cwd=scratch, env=env, stdout=subprocess.PIPE,
                                   stderr=subprocess.STDOUT, text=True, start_new_session=True)
        try:
            out, _ = process.communicate(timeout=WINDOW_ALIVE_SECONDS if window else COMMAND_SECONDS)
            timed_out = False
        except subprocess.TimeoutExpired:
            os.killpg(process.pid, signal.SIGTERM)
            out, _ = process.communicate()
            timed_out = True
        finally:
            try:
                os.killpg(process.pid, signal.SIGKILL)  # what the example left in the background
            except ProcessLookupError:
                pass
        seconds = time.monotonic() - started
        wanted = {1} if lost else expected_status(command)
        if window:
            ok = timed_out
            outcome = "still running" if timed_out else f"ended with {process.returncode}"
        else:
            ok = not timed_out and process.returncode in wanted
            outcome = "timed out" if timed_out else f"exit {process.returncode}"
        print(f"    {outcome} in {seconds:.0f} s" + ("" if ok else f", wanted {sorted(wanted)}"))
        if not ok:
            print("    " + "\n    ".join(out.strip().splitlines()[-15:]))
            failures.append(f"{origin}: {command}")
        if lost:
            sims.restart("com3")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "release"))
    parser.add_argument("--installed", action="store_true")
    args = parser.parse_args()
    build = os.path.abspath(args.build)

    scratch = tempfile.mkdtemp(prefix="tvbox-examples-")
    for name, target in (("build", os.path.join(ROOT, "build")), ("data", os.path.join(ROOT, "data")),
                         ("scripts", os.path.join(ROOT, "scripts"))):
        os.symlink(target, os.path.join(scratch, name))
    os.makedirs(os.path.join(scratch, "tmp"))
    os.makedirs(os.path.join(scratch, "home"))
    env = dict(os.environ)
    if not args.installed:
        env["PATH"] = os.pathsep.join([os.path.join(build, "src"), os.path.join(build, "tools"), env["PATH"]])
    env.update(HOME=os.path.join(scratch, "home"), TVBOX_PORT_DIR=os.path.join(scratch, "ports"),
               XDG_STATE_HOME=os.path.join(scratch, "home", "state"))
    env.pop("TVBOX_PORTS", None)
    share = "/usr/share/tvbox" if args.installed else os.path.join(ROOT, "data")

    sim_program = shutil.which("tvbox-sim", path=env["PATH"])
    sims = Simulators(sim_program, scratch)
    failures = []
    try:
        for port in PORTS.values():
            sims.start(port)
        # firmware.hv: a small generated file, so each example burns in seconds.
        subprocess.run(["tvbox-gen", "--seed", "1", "--out", "firmware.hv", "--flash-bytes", "2048",
                        "--osd-bytes", "512", "--glyphs", "8"], cwd=scratch, env=env, check=True)
        sources = []
        for page in sorted(os.listdir(os.path.join(ROOT, "man"))):
            sources.append((page, man_examples(os.path.join(ROOT, "man", page))))
        # Script blocks first: the examples that run a script read them.
        sources = [(origin, [b for b in blocks if is_script_file(b)]) for origin, blocks in sources] + \
            [("README.md", readme_examples(os.path.join(ROOT, "README.md")))] + \
            [(origin, [b for b in blocks if not is_script_file(b)]) for origin, blocks in sources]
        for origin, blocks in sources:
            for block in blocks:
                run_block(block, origin, env, sims, scratch, share, failures)
    finally:
        sims.stop_all()
        shutil.rmtree(scratch, ignore_errors=True)
    if failures:
        print("Examples that do not work as written:\n  " + "\n  ".join(failures))
        return 1
    print("Every example worked as written.")
    return 0


if __name__ == "__main__":
    sys.exit(main())
