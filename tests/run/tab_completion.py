#!/usr/bin/env python3
"""The console dialog at a terminal: Tab completes a file name, spaces and
umlauts included, and the answer is the whole name, unquoted. The prompt and
the typing stay on the terminal; standard output carries only the listing.

    tab_completion.py TRASKEL_BINARY EXAMPLE_CSV
"""
import os
import pty
import select
import shutil
import subprocess
import sys
import tempfile
import time

binary, example = sys.argv[1], sys.argv[2]
folder = tempfile.mkdtemp()
try:
    name = "Prüf teil.csv"
    shutil.copy(example, os.path.join(folder, name))
    open(os.path.join(folder, "Plan.csv"), "w").close()  # "P" alone is not enough

    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("LC_", "LANG", "QUORVEX_SIM_", "TRASKEL_"))}
    env.update(TERM="vt100", LC_ALL="C.UTF-8", TRASKEL_SETTINGS_DIR=folder)
    terminal, user_side = pty.openpty()
    with open(os.path.join(folder, "out.txt"), "w+b") as out:
        converter = subprocess.Popen([binary], stdin=user_side, stderr=user_side, stdout=out,
                                     cwd=folder, env=env)
        os.close(user_side)
        screen = b""

        def read_until(done, seconds):
            global screen
            deadline = time.monotonic() + seconds
            while not done() and time.monotonic() < deadline:
                ready, _, _ = select.select([terminal], [], [], 0.1)
                if ready:
                    try:
                        screen += os.read(terminal, 4096)
                    except OSError:  # the converter has ended
                        return

        read_until(lambda: b"Datei: " in screen, 20)
        os.write(terminal, "Pr\t".encode())
        read_until(lambda: "teil.csv".encode() in screen, 5)
        os.write(terminal, b"\r")
        try:
            status = converter.wait(timeout=20)
        except subprocess.TimeoutExpired:
            converter.kill()
            status = f"none: still running after 20 s, killed ({converter.wait()})"
        read_until(lambda: False, 0.3)
        out.seek(0)
        listing = out.read().decode()

    try:
        with open(os.path.join(folder, "settings"), encoding="utf-8") as f:
            remembered = f.read()
    except FileNotFoundError:
        remembered = "nothing"
    failures = []
    if status != 0:
        failures.append(f"exit status {status}")
    if not remembered.endswith("=" + os.path.join(folder, name) + "\n"):
        failures.append(f"remembered: {remembered}")
    if b"Datei: " not in screen:
        failures.append("no prompt on the terminal")
    if "Datei:" in listing or "Quorvex measurement program: 27 commands" not in listing:
        failures.append("standard output is not the listing alone")
    if failures:
        print("terminal showed:", screen, file=sys.stderr)
        print("\n".join(failures), file=sys.stderr)
        sys.exit(1)
    print("Tab completed", repr(name))
finally:
    shutil.rmtree(folder)
