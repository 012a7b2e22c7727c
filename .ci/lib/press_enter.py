#!/usr/bin/env python3
"""Runs a command on a terminal of its own, as a person at a keyboard would:
waits until it prints PROMPT, presses Enter, and waits for it to end.

    press_enter.py PROMPT TRANSCRIPT COMMAND...

The terminal's output goes to TRANSCRIPT, with CR LF made LF. The exit
status is the command's, or 124 when PROMPT never came or the command did
not end after Enter; there is no deadline but a generous one for a hung
command, since a loaded or emulated machine may be slow.
"""
import os
import pty
import select
import sys
import time

HUNG_AFTER_SECONDS = 900


def main():
    prompt, transcript_path = sys.argv[1].encode(), sys.argv[2]
    pid, terminal = pty.fork()
    if pid == 0:
        os.execvp(sys.argv[3], sys.argv[3:])
    output = b""
    pressed = False
    deadline = time.monotonic() + HUNG_AFTER_SECONDS
    while time.monotonic() < deadline:
        ready, _, _ = select.select([terminal], [], [], 1.0)
        if ready:
            try:
                chunk = os.read(terminal, 65536)
            except OSError:  # the terminal closes when the command ends
                chunk = b""
            if not chunk:
                break
            output += chunk
        if not pressed and prompt in output:
            os.write(terminal, b"\r")
            pressed = True
    with open(transcript_path, "wb") as transcript:
        transcript.write(output.replace(b"\r\n", b"\n"))
    if time.monotonic() >= deadline:
        os.kill(pid, 9)
        os.waitpid(pid, 0)
        print(f"press_enter: {' '.join(sys.argv[3:])}: "
              f"{'did not end after Enter' if pressed else 'never printed ' + sys.argv[1]}",
              file=sys.stderr)
        return 124
    _, status = os.waitpid(pid, 0)
    if not pressed:
        print(f"press_enter: {' '.join(sys.argv[3:])} ended before it printed {sys.argv[1]}",
              file=sys.stderr)
        return 124
    return os.waitstatus_to_exitcode(status)


if __name__ == "__main__":
    sys.exit(main())
