#!/usr/bin/env python3
"""Measures the audio-video offset of a real-time run: for each traced event that the music's position
triggers, when the event happened against when its moment of the music was heard.

Run mode (record): starts parec on the sink's monitor and the command, and stamps, on one monotonic
clock, every piece of sound parec delivers and every line the command adds to its trace file (the
trace is flushed line by line). Analysis: the recording is aligned with the reference rendering (the
same run on the virtual clock, whose trace times are also times in its audio.wav), so each event's
moment in the reference becomes a sample of the recording, and that sample's arrival time is when it
was heard. Offset = heard - event: positive when the sound comes after the picture.

Usage: av_offset.py RATE REFERENCE_DIR PLAY_DIR -- COMMAND...
  REFERENCE_DIR holds audio.wav and trace.txt of the virtual-clock run; the command runs in PLAY_DIR
  and writes PLAY_DIR/trace.txt.
"""
import fcntl
import os
import select
import subprocess
import sys
import time

import numpy as np

sys.dont_write_bytecode = True  # nothing written into the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare_heard import best_lag, read_wav, resample  # noqa: E402


def record(rate, play_dir, command):
    parec = subprocess.Popen(
        ["parec", "-d", "heard.monitor", "--raw", "--format=s16le", f"--rate={rate}",
         "--channels=2", "--latency-msec=5"], stdout=subprocess.PIPE)
    flags = fcntl.fcntl(parec.stdout, fcntl.F_GETFL)
    fcntl.fcntl(parec.stdout, fcntl.F_SETFL, flags | os.O_NONBLOCK)
    trace_path = os.path.join(play_dir, "trace.txt")
    pieces, stamps, events = [], [], []  # stamps: (monotonic s, bytes received so far)
    received, trace_seen, pending = 0, 0, b""
    env = {k: v for k, v in os.environ.items()
           if k not in ("VEK_CLOCK", "VEK_AUDIO", "VEK_CONSOLE", "VEK_CAPTURE")}
    env["VEK_TRACE"] = trace_path
    intro = subprocess.Popen(command, cwd=play_dir, env=env, stdout=subprocess.DEVNULL,
                             stderr=subprocess.DEVNULL)
    stop_at = None
    while stop_at is None or time.monotonic() < stop_at:
        ready, _, _ = select.select([parec.stdout], [], [], 0.001)
        now = time.monotonic()
        if ready:
            data = parec.stdout.read() or b""
            if data:
                pieces.append(data)
                received += len(data)
                stamps.append((now, received))
        if os.path.exists(trace_path) and os.path.getsize(trace_path) > trace_seen:
            with open(trace_path, "rb") as f:
                f.seek(trace_seen)
                more = f.read()
            trace_seen += len(more)
            pending += more
            while b"\n" in pending:
                line, pending = pending.split(b"\n", 1)
                events.append((now, line.decode().strip()))
        if stop_at is None and intro.poll() is not None:
            stop_at = time.monotonic() + 0.5
    parec.terminate()
    parec.wait()
    if intro.returncode != 0:
        sys.exit(f"av_offset: the intro ended with status {intro.returncode}")
    raw = np.frombuffer(b"".join(pieces), dtype="<i2")
    return raw[: len(raw) // 2 * 2].reshape(-1, 2).astype(np.float64), stamps, events


# The music positions the timeline waits for: the logo's hold, the wait before the first scene,
# the present picture's and the logo's holds, the wait before the second scene.
THRESHOLDS = {0x10028, 0x10037, 0x60000, 0x70010, 0x70037}


def words(text):
    return [w for w in text.split() if not w.lstrip("-").replace(".", "").isdigit()]


def main():
    rate, reference_dir, play_dir = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    command = sys.argv[sys.argv.index("--") + 1:]
    heard, stamps, events = record(rate, play_dir, command)

    reference, ref_rate = read_wav(os.path.join(reference_dir, "audio.wav"))
    ref_events = []
    for line in open(os.path.join(reference_dir, "trace.txt")):
        ms, position, text = line.split(" ", 2)
        ref_events.append((int(ms), int(position, 16), text.strip()))

    # Arrival of byte b: the earliest stamp's (time - bytes / rate) is the least delayed delivery.
    bytes_per_s = rate * 4
    base = min(t - n / bytes_per_s for t, n in stamps)
    aligned = resample(heard, rate, ref_rate)
    first, last = int(0.5 * ref_rate), int(14 * ref_rate)
    lag = best_lag(reference[first:last].mean(axis=1), aligned.mean(axis=1)) - first

    offsets, precise, measured = [], [], set()
    real = [e for e in events if e[1]]
    for (ms, position, text), (wall, line) in zip(ref_events, real):
        # Frame counts in an event's text may differ between the runs; its words may not.
        if words(line.split(" ", 2)[2]) != words(text):
            sys.exit(f"av_offset: the runs' events differ: '{text}' and '{line}'")
        # Only events that waited for the music: the run's position is the threshold itself (an
        # event that came later, after slow set-up work, is tied to the clock, not to the music).
        real_position = int(line.split(" ", 2)[1], 16)
        frame = int(ms * ref_rate / 1000)
        if position not in THRESHOLDS or real_position != position or position in measured or \
                not ref_rate <= frame <= len(reference) - ref_rate:
            continue
        measured.add(position)
        # Aligned where the event is: a second of the reference around it, in the recording near
        # where the whole-run alignment puts it.
        window = reference[frame - ref_rate // 2:frame + ref_rate // 2].mean(axis=1)
        lo = max(0, frame + lag - 2 * ref_rate)
        near = aligned[lo:frame + lag + 2 * ref_rate].mean(axis=1)
        local = best_lag(window, near) + lo - (frame - ref_rate // 2)
        heard_at = base + (frame + local) / ref_rate
        offset = (heard_at - wall) * 1000
        offsets.append(offset)
        # The waits between screens poll the position without pause; the screens test it once a
        # frame, so their events come up to a frame (50 ms) after the position crossed.
        polled = text.startswith("T2 end") or text.startswith("T5 end")
        if polled:
            precise.append(offset)
        print(f"av_offset: {text:<28} at {ms:6d} ms: heard {offset:+7.1f} ms after it was shown"
              f"{'' if polled else ' (a frame loop: up to 50 ms less)'}")
    if not offsets:
        sys.exit("av_offset: no event to measure")
    print(f"av_offset: all events: median {np.median(offsets):+.1f} ms "
          f"({min(offsets):+.1f} to {max(offsets):+.1f})")
    if precise:
        print(f"av_offset: the sound comes {np.median(precise):+.1f} ms after the picture "
              "(events of the polling waits)")


if __name__ == "__main__":
    main()
