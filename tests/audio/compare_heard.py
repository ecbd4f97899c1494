#!/usr/bin/env python3
"""Compares what a sound server heard with the module's own rendering.

The reference is the player's rendering on the virtual clock (a headless capture's audio.wav). The
recording is raw signed 16-bit stereo from the sink's monitor, at the sink's rate. The recording is
resampled to the reference's rate (band-limited, through the spectrum), the lag between the two is
found by cross-correlation, to a part of a frame, and at that one lag the span of music is compared
as a whole and in one-second windows. Sound that arrives late after a gap or early after a dropped buffer shifts the
rest of the run against the reference, so every window must match at the same lag.

Usage: compare_heard.py REFERENCE.wav RECORDING.raw RECORDING_RATE [--from S] [--to S] [--min R]
Status 0 when the whole span and every window correlate at least R (default 0.99).
"""
import argparse
import sys
import wave

import numpy as np


def read_wav(path):
    with wave.open(path, "rb") as w:
        if w.getsampwidth() != 2:
            sys.exit(f"compare_heard: {path} is not 16-bit")
        frames = np.frombuffer(w.readframes(w.getnframes()), dtype="<i2")
        return frames.reshape(-1, w.getnchannels()).astype(np.float64), w.getframerate()


def resample(signal, rate_from, rate_to):
    """Band-limited resampling of each channel through its spectrum (exact for a rational ratio)."""
    if rate_from == rate_to:
        return signal
    n = len(signal)
    m = int(round(n * rate_to / rate_from))
    spectrum = np.fft.rfft(signal, axis=0)
    keep = min(spectrum.shape[0], m // 2 + 1)
    out = np.zeros((m // 2 + 1, signal.shape[1]), dtype=complex)
    out[:keep] = spectrum[:keep]
    return np.fft.irfft(out, n=m, axis=0) * (m / n)


def correlation(a, b):
    a = a - a.mean()
    b = b - b.mean()
    denominator = np.sqrt((a * a).sum() * (b * b).sum())
    return float((a * b).sum() / denominator) if denominator > 0 else 0.0


def best_lag(reference, heard):
    """The lag (in frames, to a part of one) at which `heard` best matches `reference`:
    heard[i + lag] ~ reference[i]. The whole frames come from the peak of the cross-correlation,
    the part from the vertex of the parabola through the peak and its two neighbours."""
    n = 1 << int(np.ceil(np.log2(len(reference) + len(heard))))
    product = np.fft.rfft(heard, n) * np.conj(np.fft.rfft(reference, n))
    cross = np.fft.irfft(product, n)
    peak = int(np.argmax(cross))
    before, at, after = cross[peak - 1], cross[peak], cross[(peak + 1) % n]
    curvature = before - 2 * at + after
    part = 0.0 if curvature >= 0 else float(np.clip(0.5 * (before - after) / curvature, -0.5, 0.5))
    return (peak if peak < n - len(reference) else peak - n) + part


def delay(signal, frames):
    """`signal` later by a part of a frame, through its spectrum: delay(s, d)[i] ~ s[i - d]."""
    spectrum = np.fft.rfft(signal, axis=0)
    phase = np.exp(-2j * np.pi * np.fft.rfftfreq(len(signal)) * frames)
    return np.fft.irfft(spectrum * phase[:, None], n=len(signal), axis=0)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("reference")
    parser.add_argument("recording")
    parser.add_argument("recording_rate", type=int)
    parser.add_argument("--from", dest="start", type=float, default=0.5)
    parser.add_argument("--to", dest="end", type=float, default=14.0)
    parser.add_argument("--min", dest="minimum", type=float, default=0.99)
    args = parser.parse_args()

    reference, rate = read_wav(args.reference)
    raw = np.frombuffer(open(args.recording, "rb").read(), dtype="<i2")
    heard = raw[: len(raw) // 2 * 2].reshape(-1, 2).astype(np.float64)
    print(f"compare_heard: recorded {len(heard) / args.recording_rate:.2f} s at "
          f"{args.recording_rate} Hz, reference {len(reference) / rate:.2f} s at {rate} Hz")
    heard = resample(heard, args.recording_rate, rate)

    first, last = int(args.start * rate), int(args.end * rate)
    if last > len(reference) or np.abs(reference[first:last]).max() == 0:
        sys.exit("compare_heard: the reference has no music in the span compared")
    if np.abs(heard).max() == 0:
        print("compare_heard: FAILED: the recording is silent")
        return 1
    span = reference[first:last]
    exact = best_lag(span.mean(axis=1), heard.mean(axis=1)) - first
    lag = int(round(exact))
    # The recording is rarely a whole number of frames off; half a frame apart, the treble of a
    # faithful recording would no longer match.
    heard = delay(heard, lag - exact)
    if first + lag < 0 or last + lag > len(heard):
        print(f"compare_heard: FAILED: at the best lag ({lag / rate * 1000:.1f} ms) the recording "
              "does not cover the span compared")
        return 1
    whole = correlation(span, heard[first + lag:last + lag])
    print(f"compare_heard: heard {lag / rate * 1000:.1f} ms after the reference; "
          f"{args.start:g}-{args.end:g} s correlate {whole:.5f}")

    failed = whole < args.minimum
    window = rate
    worst = 1.0
    for start in range(first, last - window + 1, window):
        r = reference[start:start + window]
        c = correlation(r, heard[start + lag:start + lag + window])
        worst = min(worst, c)
        if c < args.minimum:
            # Where the window matches best, to tell a shift from a distortion.
            near = heard[max(0, start + lag - rate // 20):start + lag + window + rate // 20]
            local = best_lag(r.mean(axis=1), near.mean(axis=1)) - min(rate // 20, start + lag)
            print(f"compare_heard: window at {start / rate:.1f} s correlates {c:.4f} "
                  f"(best {local / rate * 1000:+.1f} ms away)")
            failed = True
    print(f"compare_heard: worst one-second window {worst:.5f}; "
          f"{'FAILED' if failed else 'passed'} (at least {args.minimum} wanted)")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
