"""Compares two raw 16-bit PCM streams: what the player handed to the sound device and a
reference decoding (averaged over groups of DECIMATE sample frames when given, as the player
does at a quarter of the rate). Runs of silence that the sound system put between the sound
(the player was late) are left out first. Passes when their lengths differ by at most one MP3
frame and, at the best alignment within one frame, the RMS of their difference is small against
full scale (32768)."""
import array
import math
import sys

played_path, reference_path = sys.argv[1], sys.argv[2]
channels, frame = int(sys.argv[3]), int(sys.argv[4])
decimate = int(sys.argv[5]) if len(sys.argv) > 5 else 1
played = array.array("h", open(played_path, "rb").read())
reference = array.array("h", open(reference_path, "rb").read())
if decimate > 1:
    groups = len(reference) // channels // decimate
    out = array.array("h")
    for g in range(groups):
        for c in range(channels):
            total = sum(reference[(g * decimate + k) * channels + c] for k in range(decimate))
            out.append(int(total / decimate))  # towards zero, like the player
    reference = out
    frame //= decimate


def without_gaps(samples, min_run=64):
    """The samples without the runs of at least min_run silent sample frames that lie between
    sound: the gaps a sound system fills when the player is late on a busy machine. Silence at
    the start and at the end stays. The sound itself must still match sample for sample."""
    n = len(samples) // channels
    silent = [not any(samples[i * channels:(i + 1) * channels]) for i in range(n)]
    first = next((k for k in range(n) if not silent[k]), n)
    keep, gaps, i = array.array("h"), [], 0
    while i < n:
        j = i
        while j < n and silent[j] == silent[i]:
            j += 1
        if silent[i] and j - i >= min_run and i > first and j < n:
            gaps.append((i, j - i))
        else:
            keep.extend(samples[i * channels:j * channels])
        i = j
    return keep, gaps


played, gaps = without_gaps(played)
if gaps:
    print(f"left out {len(gaps)} gap(s) of silence in the played audio (at, sample frames): {gaps}")
n_played, n_reference = len(played) // channels, len(reference) // channels
print(f"played {n_played} sample frames, reference {n_reference}")
if n_reference < 4 * frame or abs(n_played - n_reference) > frame:
    sys.exit("lengths differ by more than one MP3 frame")


def rms(shift, start, count):
    total, used = 0, 0
    for i in range(start * channels, (start + count) * channels):
        j = i + shift * channels
        if 0 <= j < len(played):
            d = played[j] - reference[i]
            total += d * d
            used += 1
    return math.sqrt(total / used) if used else float("inf")


# Shift 0 first: an exact match ends the search at once.
mid = n_reference // 2
best, best_rms = 0, rms(0, mid, 1024)
if best_rms > 4:
    for s in range(-frame, frame + 1):
        r = rms(s, mid, 1024)
        if r < best_rms:
            best, best_rms = s, r
whole = rms(best, frame, n_reference - 2 * frame)
print(f"alignment {best} sample frames, RMS difference {whole:.2f} of 32768")
if whole > 300:
    sys.exit("played audio differs from the reference decoding")
